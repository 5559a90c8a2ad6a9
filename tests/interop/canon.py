# The canonical text form in which the interop scripts hand table contents to the C++ tests.
#
# One item per line, fields separated by tabs:
#   field<TAB>NAME                 a visible field, in table order
#   record                         a live record starts; its values follow in field order
#   value<TAB>NAME<TAB>KIND<TAB>X  KIND is null/text/int/real/bool/date/datetime/bytes
#   deleted<TAB>N                  the number of deleted records
#   count<TAB>N                    (ogrinfo only) the feature count it reports
# Text escapes backslash, tab, CR and LF so that memo values stay on one line.
import datetime
import decimal
import sys


def missing(package, module):
    """Stops with a message the test shows when an outside program is not installed."""
    print('MISSING: the Debian package %s is not installed (Python module %r not found under %s)'
          % (package, module, sys.executable), file=sys.stderr)
    sys.exit(3)


def escape(text):
    return (text.replace('\\', '\\\\').replace('\t', '\\t').replace('\r', '\\r')
            .replace('\n', '\\n'))


def datetime_text(dt):
    # dbfread builds datetimes from float seconds; round to the millisecond the file stores.
    midnight = datetime.datetime.combine(dt.date(), datetime.time())
    ms = round((dt - midnight) / datetime.timedelta(milliseconds=1))
    day = dt.date()
    if ms >= 86400000:
        day += datetime.timedelta(days=1)
        ms -= 86400000
    return '%sT%02d:%02d:%02d.%03d' % (day.isoformat(), ms // 3600000, ms // 60000 % 60,
                                       ms // 1000 % 60, ms % 1000)


def canonical(value):
    """(kind, text) of a Python value as dbfread or dbf hand it out."""
    if value is None:
        return 'null', ''
    if isinstance(value, bool):
        return 'bool', 'true' if value else 'false'
    if isinstance(value, int):
        return 'int', str(value)
    if isinstance(value, float):
        return 'real', repr(value)
    if isinstance(value, decimal.Decimal):
        return 'real', str(value)
    if isinstance(value, datetime.datetime):
        return 'datetime', datetime_text(value)
    if isinstance(value, datetime.date):
        return 'date', value.isoformat()
    if isinstance(value, (bytes, bytearray)):
        return 'bytes', bytes(value).hex()
    if isinstance(value, str):
        return 'text', escape(value)
    raise TypeError('no canonical form for %r (%s)' % (value, type(value).__name__))


class Writer:
    def __init__(self):
        sys.stdout.reconfigure(encoding='utf-8', newline='\n')

    def fields(self, names):
        for name in names:
            print('field\t' + name)

    def record(self, pairs):
        print('record')
        for name, value in pairs:
            kind, text = canonical(value)
            print('value\t%s\t%s\t%s' % (name, kind, text))

    def deleted(self, count):
        print('deleted\t%d' % count)
