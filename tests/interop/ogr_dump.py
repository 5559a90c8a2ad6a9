# Dumps a table as GDAL's ogrinfo reads it, in the canonical form of canon.py.
# Usage: ogr_dump.py TABLE.dbf
# ogrinfo picks the code page from the .cpg file or the language driver id and prints UTF-8. It has no
# memo support (memo fields show the block pointer) and skips deleted records, but counts them in its
# "Feature Count".
import re
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
import canon  # noqa: E402

KINDS = {'String': 'text', 'Real': 'real', 'Integer': 'int', 'Integer64': 'int', 'Date': 'date'}


def main():
    path = sys.argv[1]
    if shutil.which('ogrinfo') is None:
        print('MISSING: the Debian package gdal-bin is not installed (no ogrinfo on PATH)', file=sys.stderr)
        sys.exit(3)
    run = subprocess.run(['ogrinfo', '-al', '-ro', path], capture_output=True)
    if run.returncode != 0:
        sys.stderr.write(run.stderr.decode('utf-8', 'backslashreplace'))
        sys.exit(1)
    lines = run.stdout.decode('utf-8', 'backslashreplace').split('\n')

    schema, count, records, current = [], None, [], None
    for line in lines:
        if line.startswith('Feature Count: '):
            count = int(line.split(': ', 1)[1])
            continue
        m = re.match(r'^(\S.*): (\w+) \(\d+\.\d+\)$', line)
        if m and current is None and m.group(2) in KINDS:
            schema.append((m.group(1), m.group(2)))
            continue
        if line.startswith('OGRFeature('):
            current = [None] * len(schema)
            records.append(current)
            position = 0
            continue
        if current is not None:
            # Values come in schema order, Null ones left out; names may repeat, so go by position.
            for index in range(position, len(schema)):
                prefix = '  %s (%s) = ' % schema[index]
                if line.startswith(prefix):
                    current[index] = line[len(prefix):]
                    position = index + 1
                    break

    out = canon.Writer()
    out.fields([name for name, _ in schema])
    print('count\t%d' % (count if count is not None else -1))
    for record in records:
        print('record')
        for (name, ogr_type), text in zip(schema, record):
            if text is None or text == '(null)':
                print('value\t%s\tnull\t' % name)
            elif ogr_type == 'Date':
                print('value\t%s\tdate\t%s' % (name, text.replace('/', '-')))
            else:
                print('value\t%s\t%s\t%s' % (name, KINDS[ogr_type], canon.escape(text)))


if __name__ == '__main__':
    main()
