# Dumps a table as dbfread reads it, in the canonical form of canon.py.
# Usage: dbfread_dump.py TABLE.dbf [ENCODING]
# Without ENCODING dbfread picks the code page from the language driver id itself.
import sys

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
import canon  # noqa: E402

try:
    import dbfread
    import dbfread.memo
    from dbfread.field_parser import FieldParser
except ImportError:
    canon.missing('python3-dbfread', 'dbfread')


def _db4_memo_within_its_length():
    """A dBASE IV memo block starts FF FF 08 00 and a 4-byte length that counts this 8-byte
    prefix too. dbfread reads that many bytes *after* the prefix, 8 too many, and then cuts at
    the first 0x1F, so what follows a memo edited in place leaks into its value (fixture
    dbase_8b.dbt: "Fifth memo" plus a leftover "o\\n"). Its result is cut back to the declared
    length; everything else stays dbfread's own reading."""
    original = dbfread.memo.DB4MemoFile.__getitem__

    def getitem(self, index):
        data = original(self, index)
        if data is None:
            return None
        self._seek(index * 512 + 4)
        declared = int.from_bytes(self._read(4), 'little')
        return data[:max(declared - 8, 0)]

    dbfread.memo.DB4MemoFile.__getitem__ = getitem


class RawVar(bytes):
    """A V/Q field's bytes, decoded after _NullFlags says how long the value is."""


class Parser(FieldParser):
    # dbfread raises ValueError on malformed dates, numbers and logicals, where the file layer under
    # test reads Null. FieldParser subclasses are dbfread's documented hook for such files; here
    # those values become None so that the rest of the table can still be compared.
    def _lenient(self, parse, field, data):
        try:
            return parse(field, data)
        except ValueError:
            print('note: dbfread refused %s=%r; taken as None' % (field.name, bytes(data)), file=sys.stderr)
            return None

    def parseD(self, field, data):
        return self._lenient(super().parseD, field, data)

    def parseN(self, field, data):
        return self._lenient(super().parseN, field, data)

    def parseF(self, field, data):
        return self._lenient(super().parseF, field, data)

    def parseL(self, field, data):
        return self._lenient(super().parseL, field, data)

    # dbfread reads V like C and knows nothing of the length byte _NullFlags points at.
    def parseV(self, field, data):
        return RawVar(data)

    def parseQ(self, field, data):
        return RawVar(data)


def flag_bits(table):
    """Visual FoxPro's _NullFlags bits per field, which dbfread does not apply: V/Q fields get a
    varlength bit, nullable fields a null bit (V/Q first the varlength one), in field order."""
    vfp = table.header.dbversion in (0x30, 0x31, 0x32)
    bits, nxt = {}, 0
    for f in table.fields:
        flags = f.reserved1 & 0xFF if vfp else 0
        if f.type == '0':
            continue
        var = null = None
        if vfp and f.type in 'VQ':
            var, nxt = nxt, nxt + 1
        if flags & 0x02:
            null, nxt = nxt, nxt + 1
        bits[f.name] = (var, null)
    return bits


def main():
    _db4_memo_within_its_length()
    path = sys.argv[1]
    encoding = sys.argv[2] if len(sys.argv) > 2 else None
    table = dbfread.DBF(path, encoding=encoding, load=False, parserclass=Parser, recfactory=None,
                        ignore_missing_memofile=False, char_decode_errors='strict')
    vfp = table.header.dbversion in (0x30, 0x31, 0x32)
    hidden = {f.name for f in table.fields if f.type == '0' or (vfp and f.reserved1 & 0x01)}
    bits = flag_bits(table)
    out = canon.Writer()
    out.fields([f.name for f in table.fields if f.name not in hidden])
    types = {f.name: f.type for f in table.fields}
    for record in table.records:
        flags = b''.join(v for n, v in record if types[n] == '0')
        is_set = lambda bit: bit is not None and bit // 8 < len(flags) and flags[bit // 8] >> (bit % 8) & 1
        pairs = []
        for name, value in record:
            if name in hidden:
                continue
            var, null = bits.get(name, (None, None))
            if isinstance(value, RawVar):
                raw = bytes(value)
                raw = raw[:raw[-1]] if is_set(var) and raw else raw.rstrip(b'\0 ')
                value = raw if types[name] == 'Q' else raw.decode(table.encoding)
            if is_set(null):
                value = None
            pairs.append((name, value))
        out.record(pairs)
    out.deleted(len(table.deleted))


if __name__ == '__main__':
    main()
