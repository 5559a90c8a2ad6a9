# Writes a table with python3-dbf (Ethan Furman's module `dbf`) and prints, in the canonical form of
# canon.py, what it wrote: the values the C++ test must read back.
# Usage: dbf_write.py FOLDER VARIANT      (VARIANT: see TABLES below; the table is FOLDER/VARIANT.dbf)
import datetime
import decimal
import os
import sys

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
import canon  # noqa: E402

try:
    import dbf
except ImportError:
    canon.missing('python3-dbf', 'dbf')

D = datetime.date
LONG_MEMO = lambda line, n: '\r\n'.join('%03d %s' % (i, line) for i in range(n))

# dbf_type, code page, field wanted, records (None: a blank record), indexes of records to delete.
# The module has no working dBASE IV writer (its db4 class is marked non-functional and is not
# registered), so dBASE III, Clipper (dBASE III with long character fields), FoxPro 2 and Visual
# FoxPro are what it can produce.
TABLES = {
    'db3_cp1252': ('db3', 'cp1252', 'NAME C(40); AMOUNT N(10,2); QTY N(6,0); BORN D; OK L; NOTE M', [
        ('Müller, Straße, Öl, Ärger — 5 €', 1234.5, -17, D(1999, 12, 31), True,
         LONG_MEMO('Grüße aus Köln, Zürich und Malmö; Œuvre “quoted”', 40)),
        ('Åse Ødegård', -0.25, 0, D(2024, 2, 29), False, 'eine Zeile'),
        None,
        ('gelöscht', 1, 1, D(2000, 1, 1), True, 'deleted memo'),
    ], [3]),
    'db3_cp866': ('db3', 'cp866', 'NAME C(60); AMOUNT N(12,3); BORN D; OK L; NOTE M', [
        ('Съешь же ещё этих мягких французских булок', 3.125, D(1961, 4, 12), True,
         LONG_MEMO('Широкая электрификация южных губерний', 30)),
        ('ЁЛКА ёлка', None, None, None, 'строка\nвторая строка'),
    ], []),
    'vfp_cp1250': ('vfp', 'cp1250',
                   # Every field is nullable: the module numbers _NullFlags bits by field position,
                   # which matches Visual FoxPro's numbering only when all fields take a bit.
                   'NAME C(40) NULL; AMOUNT N(10,2) NULL; BORN D NULL; OK L NULL; NOTE M NULL; '
                   'AT T NULL; CNT I NULL; PRICE Y NULL; RATIO B NULL', [
        ('Đorđe Čučković, Šabac, Žitište', 12.5, D(1989, 6, 28), True,
         LONG_MEMO('Ćevapčići u Đakovu; šećer, žvaka, čaša', 25),
         datetime.datetime(2020, 1, 2, 3, 4, 5, 678000), -42, decimal.Decimal('1234.5678'), 3.5),
        (dbf.Null,) * 9,
        ('Łódź Příliš žluťoučký kůň', 0, D(2001, 9, 9), False, 'kratko',
         datetime.datetime(1999, 12, 31, 23, 59, 59, 999000), 2147483646, decimal.Decimal('-0.0001'), -1e-300),
    ], []),
    'vfp_cp1251': ('vfp', 'cp1251', 'NAME C(50) NULL; NOTE M NULL; BORN D NULL', [
        ('Ђорђе Чучковић, Шабац, Љиљана Њежић', 'Џеп ћирилице\r\nдруги ред', D(1950, 1, 1)),
        ('Јелена', dbf.Null, dbf.Null),
    ], []),
    'fp_cp852': ('fp', 'cp852', 'NAME C(40); AMOUNT N(10,2); FL F(12,3); BORN D; OK L; NOTE M', [
        ('Zażółć gęślą jaźń; Příliš žluťoučký kůň', 99.99, -1.5, D(2010, 10, 10), True,
         LONG_MEMO('Łódź, Kraków, Brno, Győr', 20)),
        None,
    ], []),
    'clp_cp850': ('clp', 'cp850', 'NAME C(20); LONGTEXT C(300); NOTE M', [
        ('Ærø Måløv', ('Ça va très bien, señor! ' * 12).strip(), 'mémo'),
    ], []),
}


def blank(want):
    """What a blank record reads as: character fields empty, everything else Null."""
    return ['' if part.split()[1].startswith('C') else None for part in want.split(';')]


def main():
    folder, variant = sys.argv[1], sys.argv[2]
    dbf_type, codepage, want, records, deleted = TABLES[variant]
    path = os.path.join(folder, variant + '.dbf')
    table = dbf.Table(path, want, dbf_type=dbf_type, codepage=codepage)
    table.open(dbf.READ_WRITE)
    for values in records:
        if values is None:
            table.append()
        else:
            table.append(values)
    for index in deleted:
        dbf.delete(table[index])
    names = list(table.field_names)
    table.close()

    out = canon.Writer()
    out.fields([n.upper() for n in names])
    for index, values in enumerate(records):
        if index in deleted:
            continue
        values = blank(want) if values is None else [None if v is dbf.Null else v for v in values]
        out.record(zip([n.upper() for n in names], values))
    out.deleted(len(deleted))


if __name__ == '__main__':
    main()
