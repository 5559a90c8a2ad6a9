# Dumps a workbook as openpyxl reads it, for the tests of the spreadsheet export.
# Usage: xlsx_dump.py BOOK.xlsx
#
# One item per line, fields separated by tabs:
#   sheet<TAB>NAME<TAB>ROWS<TAB>COLUMNS    the active sheet and its used size
#   cell<TAB>REF<TAB>KIND<TAB>VALUE<TAB>FORMAT<TAB>bold|plain
#                                          every cell of the used range, row by row; KIND is
#                                          empty/text/int/real/bool/date, a date as ISO text
#   width<TAB>LETTER<TAB>WIDTH             each column given a width of its own
import sys

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
import canon  # noqa: E402

try:
    import openpyxl
except ImportError:
    canon.missing('python3-openpyxl', 'openpyxl')


def kind_and_text(cell):
    value = cell.value
    if value is None:
        return 'empty', ''
    if cell.is_date:
        return 'date', value.isoformat()
    if isinstance(value, bool):
        return 'bool', str(value)
    if isinstance(value, int):
        return 'int', str(value)
    if isinstance(value, float):
        return 'real', repr(value)
    return 'text', canon.escape(str(value))


def main():
    book = openpyxl.load_workbook(sys.argv[1])
    sheet = book.active
    print('sheet\t%s\t%d\t%d' % (sheet.title, sheet.max_row, sheet.max_column))
    for row in sheet.iter_rows():
        for cell in row:
            kind, text = kind_and_text(cell)
            print('cell\t%s\t%s\t%s\t%s\t%s' % (cell.coordinate, kind, text, cell.number_format,
                                               'bold' if cell.font.b else 'plain'))
    for letter, dimension in sorted(sheet.column_dimensions.items()):
        if dimension.customWidth:
            print('width\t%s\t%g' % (letter, dimension.width))


main()
