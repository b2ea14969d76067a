"""Prints the live records of a .DBF as dbfread reads them, one value per line:
"R" starts a record; values are "~" (null), "B:T"/"B:F", "N:<number>", "D:YYYY-MM-DD",
"T:YYYY-MM-DDTHH:MM:SS.mmm", "S:<text>" or "X:<hex>" (binary), with \\, \n, \r escaped.
Only the records the header counts are read, as the engine does. With a third argument "all",
deleted records are printed too, each starting with "D" instead of "R"."""
import sys
from decimal import Decimal
import datetime
from dbfread import DBF
from dbfread.field_parser import FieldParser


def escape(text):
    return text.replace('\\', '\\\\').replace('\n', '\\n').replace('\r', '\\r')


def show(value):
    if value is None:
        return '~'
    if isinstance(value, bool):
        return 'B:T' if value else 'B:F'
    if isinstance(value, (int, float, Decimal)):
        return 'N:' + repr(float(value))
    if isinstance(value, datetime.datetime):
        return 'T:' + value.strftime('%Y-%m-%dT%H:%M:%S.') + '%03d' % (value.microsecond // 1000)
    if isinstance(value, datetime.date):
        return 'D:%04d-%02d-%02d' % (value.year, value.month, value.day)
    if isinstance(value, bytes):
        return 'X:' + value.hex()
    return 'S:' + escape(value)


def main(path, encoding, everything=False):
    try:
        table = DBF(path, encoding=encoding, load=False, char_decode_errors='replace',
                    ignore_missing_memofile=True)
    except ValueError as e:  # a field type dbfread does not know
        print('UNSUPPORTED', e)
        return
    with open(path, 'rb') as f, table._open_memofile() as memo:
        parser = FieldParser(table, memo)
        f.seek(table.header.headerlen)
        # dbfread itself steps by the fields' length when the header's is shorter.
        length = max(table.header.recordlen, 1 + sum(field.length for field in table.fields))
        for _ in range(table.header.numrecords):
            record = f.read(length)
            if len(record) < length:
                break
            if record[0:1] == b'*' and not everything:
                continue
            print('D' if record[0:1] == b'*' else 'R')
            pos = 1
            for field in table.fields:
                data = record[pos:pos + field.length]
                pos += field.length
                if field.type == '0':
                    continue
                try:
                    print(show(parser.parse(field, data)))
                except ValueError:
                    print('!')


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2], len(sys.argv) > 3 and sys.argv[3] == 'all')
