# Prints the structure of a table as dbfread reads its header: the version byte, then one line per
# field: NAME<TAB>TYPE<TAB>LENGTH<TAB>DECIMALS.
# Usage: dbf_fields.py TABLE.dbf
import sys

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
import canon  # noqa: E402

try:
    import dbfread
except ImportError:
    canon.missing('python3-dbfread', 'dbfread')


def main():
    table = dbfread.DBF(sys.argv[1], load=False, encoding='latin-1', ignore_missing_memofile=False)
    sys.stdout.reconfigure(encoding='utf-8', newline='\n')
    print('version\t%02x' % table.header.dbversion)
    for f in table.fields:
        print('%s\t%s\t%d\t%d' % (f.name, f.type, f.length, f.decimal_count))


if __name__ == '__main__':
    main()
