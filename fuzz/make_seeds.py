#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/<target>.

Usage: fuzz/make_seeds.py TEMPLATE_DIR   (a folder holding the Patron family, e.g. build/data)
The frames, records and files are those of the tests; inputs found by fuzzing are added by hand.
"""
import os
import shutil
import sqlite3
import struct
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
repo = os.path.dirname(here)


def put(target, name, data):
    folder = os.path.join(here, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(bytes(data))


# fuzz_link: operation byte, argument byte, then per request frame the line's script:
# 0x80|cut + value = the board's good reply cut in two at `cut`; 0x40 = time-out; n (1..63) and
# n bytes = a raw piece; 0 = nothing more for this frame.
put('fuzz_link', 'read-good', [0, 0x23, 0x80, 0x42, 0])
put('fuzz_link', 'read-split', [0, 0x23, 0x83, 0x42, 0])
put('fuzz_link', 'read-timeout-then-good', [0, 0x01, 0x40, 0, 0x80, 0x07, 0])
put('fuzz_link', 'read-bad-check', [0, 0x01, 6, 0xFF, 1, 2, 0x30, 0x42, 0x00, 0, 0x80, 9, 0])
put('fuzz_link', 'read-noise-in-front', [0, 0x01, 3, 0x12, 0x34, 0x56, 0x80, 0x11, 0])
put('fuzz_link', 'write-ack', [1, 0x10, 0x80, 0, 0])
put('fuzz_link', 'transfer-open-late-reply', [2, 1, 0x40, 0x80, 0, 0, 0x80, 0, 0])
put('fuzz_link', 'presence-none', [3, 5, 0])
put('fuzz_link', 'restart-third', [4, 0, 0x40, 0, 0x40, 0, 0x80, 0, 0])
put('fuzz_link', 'reader-type-button', [5, 1, 0x80, 1, 0])
put('fuzz_link', 'keypad-length', [6, 0, 0x82, 5, 0])
record = list(b'JUAN PEREZ      ') + [0x01, 0x23, 0x01, 0x23] + list(b'12:;00') + \
    list(b'PUERTA 2        ') + [0, 0, 0x3A]
put('fuzz_link', 'record-read', [7, 0, 0x80, 0x31, 0] + sum(([0x80, v, 0] for v in record), []))
put('fuzz_link', 'record-empty-slot', [7, 3, 0x80, 0xFF, 0])
put('fuzz_link', 'long-noise', [0, 1, 63] + [0xFF] * 63 + [0])

# fuzz_registro: reader type, 45 record bytes, 6 mask bytes of bytes not read.
put('fuzz_registro', 'keypad', [0] + record)
put('fuzz_registro', 'card', [1] + list(b'ANA             ') + [0x45, 0x67, 0x00, 0x89, 0x00, 0x01, 0x23,
                                                              0x45, 0x67, 0x89] + [0x20] * 16 + [0, 0, 0])
put('fuzz_registro', 'button', [2] + list(b'LUIS            ') + [0x10, 0x00, 0x00, 0x01, 0x00, 0x89, 0x67,
                                                               0x45, 0x23, 0x01] + [0x20] * 16 + [0, 7, 1])
put('fuzz_registro', 'unread-bytes', [0] + record + [0x00, 0x00, 0x30, 0x00, 0x00, 0x10])
put('fuzz_registro', 'empty-code', [1] + record[:20] + [0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF] + record[26:])

# fuzz_profile: the language file, and configuration files as the tests write them.
shutil.copy(os.path.join(repo, 'data', 'TZR_LANG.ini'), os.path.join(here, 'corpus', 'fuzz_profile', 'TZR_LANG.ini'))
put('fuzz_profile', 'config', b'[TZR]\r\nComPort=3\r\nTZR_Senda=C:\\KORVEL\\\r\nPWD=TRUBO\r\nIDIOMA=ESPA\xd1OL\r\n')
put('fuzz_profile', 'config-quotes-comments', b'; edited\n[tzr]\n  comport = " 7 " \nPWD=\'x\'\n[TZR]\nPWD=no\n\n[Other]\nA=1')
put('fuzz_profile', 'language-excerpt', b'[ESPA\xd1OL]\r\nK_TECLADO=Teclado\r\nSHOW_M1=Placa\r\n[FRAN\xc7AIS]\r\n'
    b'K_TECLADO=Clavier\r\nSHOW_M8=Op\xe9ration impossible\r\n[ENGLISH]\r\nK_TECLADO=Keypad\r\nX=\x80\x81\x9d\r\n')

# fuzz_datafile: .px .val .XG0 .YG0 each after a 16-bit length, then .db.
def family(base):
    out = b''
    for ext in ('.px', '.val', '.XG0', '.YG0'):
        data = open(base + ext, 'rb').read()
        out += struct.pack('<H', len(data)) + data
    return out + open(base + '.db', 'rb').read()


template = os.path.join(sys.argv[1], 'Patron')
put('fuzz_datafile', 'template', family(template))
with tempfile.TemporaryDirectory() as tmp:
    base = os.path.join(tmp, 'users')
    for ext in ('.db', '.px', '.val', '.XG0', '.YG0'):
        shutil.copy(template + ext, base + ext)
    db = sqlite3.connect(base + '.db')
    db.executemany('INSERT INTO registros (NOMBRE, CALL, TZR, CODIGO, LINEA2, LINEA2_ON, TIPO_CODE) '
                   'VALUES (?, ?, ?, ?, ?, ?, ?)',
                   [('JUAN', '0123', '123', '12AB00', 'PUERTA 2', 'X', 'Keypad'),
                    ('ANA', '4567', '089', '0123456789', '', '', 'Card'),
                    ('Émile', '0001', '001', 'FFFFFFFFFF', 'Línea', '', 'Button')])
    db.commit()
    db.execute('VACUUM')
    db.close()
    put('fuzz_datafile', 'three-users', family(base))

# fuzz_systemimage: byte 0 bit 0 set = the rest is sealed with its checksum line by the target.
import hashlib


def image(board, saved, params, codes, slots):
    body = b'TZRUsers system image\nformat 1\n'
    body += b'board %d\nsaved %s\n' % (board, saved)
    body += b'parameters ' + b' '.join(b'%02X' % v for v in params) + b'\n'
    body += b'codes ' + b' '.join(b'%02X' % v for v in codes) + b'\n'
    for n, rec in slots:
        body += b'slot %d ' % n + b''.join(b'%02X' % v for v in rec) + b'\n'
    return body


card = list(b'ANA             ') + [0x45, 0x67, 0x00, 0x89, 0x00, 0x01, 0x23, 0x45, 0x67, 0x89] + [0x20] * 16 + [0, 0, 0]
body = image(1, b'2026-12-08T10:40:00.000Z', [1, 6, 0, 0, 10, 20], [0x31] * 5 + [0x3A] + [0x32] * 5 + [0x3A],
             [(1, record), (2, card), (350, record)])
put('fuzz_systemimage', 'three-users', b'\0' + body + b'sha256 ' + hashlib.sha256(body).hexdigest().encode() + b'\n')
put('fuzz_systemimage', 'three-users-unsealed', b'\1' + body)
put('fuzz_systemimage', 'no-users-offset-date',
    b'\1' + image(31, b'2026-01-01T00:30:00.000+01:00', [31, 1, 2, 3, 4, 5], [0] * 12, []))

# fuzz_import: byte 0 bit 0 = .xls, bit 1 = append; the rest is the file.
put('fuzz_import', 'csv-titles-replace', b'\0NOMBRE;CALL;TZR;CODIGO;LINEA2;LINEA2_ON;TIPO_CODE\r\n'
    b'JUAN;0123;123;12AB00;PUERTA 2;X;Keypad\r\nANA;4567;089;0123456789;;;Card\r\n')
put('fuzz_import', 'csv-spanish-append', b'\2Nombre,Llamada,TZR,C\xf3digo\nLUIS,1,1,1234\n"SMITH, J",2,3,"99"\n')
put('fuzz_import', 'csv-quotes-append', b'\2"SMITH, J";"say ""hi""";"two\nlines"\nNEXT;1;2\n')
put('fuzz_import', 'csv-refused-rows', b'\0JOS\xc9;1;1\nABCDEFGHIJKLMNOPQ;1;1\nOK;12;3;4444\n')
put('fuzz_import', 'csv-end-dates-replace', b'\0Name,Call,TZR,Code,VALID_UNTIL\nANA,1,1,1234,2027-01-31\n'
    b'BEA,2,2,5678,\nCAT,3,3,9999,31/01/2027\nANA,1,1,1234,2028-02-29\n')
put('fuzz_import', 'csv-end-dates-untitled-append', b'\2LUIS,1,1,1234,,,,2026-12-10\nEVA,2,2,4321\n')

# fuzz_syncimage: byte 0 bits 0-4 = the board the bytes are stored under, bit 5 = the target puts a
# sound header naming board byte 1 in front of the rest (the user area).
def sync_image(board, slots, msecs=1796726401250):
    flags = bytes(1 if n in slots else 0 for n in range(350))
    body = b''.join(bytes(slots[n]) for n in sorted(slots))
    return b'TZRSYNC' + struct.pack('>Biq', 1, board, msecs) + flags + body


card_slots = {0: record, 1: card, 349: record}
put('fuzz_syncimage', 'three-users', bytes([3]) + sync_image(3, card_slots))
put('fuzz_syncimage', 'empty-board', bytes([0]) + sync_image(0, {}))
put('fuzz_syncimage', 'other-board-number', bytes([7]) + sync_image(8, card_slots))
put('fuzz_syncimage', 'slot-marked-empty', bytes([1]) + sync_image(1, {5: record[:20] + [0xFF] + record[21:]}))
put('fuzz_syncimage', 'one-byte-short', bytes([2]) + sync_image(2, card_slots)[:-1])
put('fuzz_syncimage', 'area-behind-header', bytes([0x20 | 4, 4]) + sync_image(4, card_slots)[20:])
put('fuzz_syncimage', 'area-bad-flag', bytes([0x20 | 5, 5]) + b'\2' + sync_image(5, {})[21:])

# fuzz_import .xls inputs. Those of our own export come from the built tool (second argument, the
# build folder holding cli/tzr); the shapes a spreadsheet program writes come from xlwt (Debian's
# python3-xlwt), which writes BIFF8 as Excel does: shared strings, number formats, several sheets.
if len(sys.argv) > 2:
    import subprocess
    tzr = os.path.join(sys.argv[2], 'cli', 'tzr')
    with tempfile.TemporaryDirectory() as tmp:
        base = os.path.join(tmp, 'users')
        for ext in ('.db', '.px', '.val', '.XG0', '.YG0'):
            shutil.copy(template + ext, base + ext)
        db = sqlite3.connect(base + '.db')
        db.executemany('INSERT INTO registros (NOMBRE, CALL, TZR, CODIGO, LINEA2, LINEA2_ON, TIPO_CODE) '
                       'VALUES (?, ?, ?, ?, ?, ?, ?)',
                       [('JUAN', '0123', '123', '12AB00', 'PUERTA 2', 'X', 'Keypad'),
                        ('ANA', '4567', '089', '0123456789', '', '', 'Card'),
                        ('LUIS', '0001', '001', 'FFFFFFFFFF', 'PISO 1 A', '', 'Button')])
        db.commit()
        db.close()
        env = dict(os.environ, XDG_DATA_HOME=tmp, XDG_STATE_HOME=tmp, XDG_CONFIG_HOME=tmp)
        subprocess.run([tzr, 'export', base + '.db', os.path.join(tmp, 'out.xls')], check=True, env=env,
                       stdout=subprocess.DEVNULL)
        exported = open(os.path.join(tmp, 'out.xls'), 'rb').read()
    put('fuzz_import', 'xls-export-replace', b'\1' + exported)
    put('fuzz_import', 'xls-export-append', b'\3' + exported)

try:
    import io
    import xlwt
except ImportError:
    xlwt = None
    print('make_seeds.py: no xlwt, the spreadsheet-program .xls seeds are left as they are', file=sys.stderr)


def workbook(fill):
    book = xlwt.Workbook(encoding='cp1252')
    fill(book)
    out = io.BytesIO()
    book.save(out)
    return out.getvalue()


def titles_and_numbers(book):
    sheet = book.add_sheet('Vecinos')
    for c, title in enumerate(['Nombre', 'Llamada', 'TZR', 'Código', 'Línea 2']):
        sheet.write(0, c, title)
    four = xlwt.easyxf(num_format_str='0000')
    three = xlwt.easyxf(num_format_str='000')
    rows = [('GARCIA ANA', 12, 1, 1234, 'PISO 1 A'), ('RUIZ JOSE', 13, 2, '', 'PISO 1 B'),
            ('GARCIA ANA', 14, 3, 5678.0, 'PISO 1 A')]   # repeated text: one shared string
    for r, row in enumerate(rows, 1):
        sheet.write(r, 0, row[0])
        sheet.write(r, 1, row[1], four)
        sheet.write(r, 2, row[2], three)
        sheet.write(r, 3, row[3])
        sheet.write(r, 4, row[4])


def several_sheets(book):
    first = book.add_sheet('Users')
    for r, row in enumerate([('EVA', 1, 1, '0042'), ('LUIS', 2.5, 1e3, -7), ('ÉMILE', 0, 350, 12345678901)]):
        for c, v in enumerate(row):
            first.write(r, c, v, xlwt.easyxf(num_format_str='#,##0.00' if isinstance(v, float) else 'General'))
    first.write(3, 0, xlwt.Formula('"MAR"&"TA"'))
    first.write(3, 1, True)
    first.write(3, 2, xlwt.Formula('1+2'))
    first.write(4, 0, 46000.5, xlwt.easyxf(num_format_str='dd/mm/yyyy hh:mm'))
    first.write_merge(5, 5, 0, 2, 'MERGED')
    second = book.add_sheet('Notes')
    second.write(0, 0, 'not read')
    second.write(1, 1, 3.25)
    book.add_sheet('Empty')


def long_shared_strings(book):
    # Enough shared text that the string table continues in CONTINUE records, one string across.
    sheet = book.add_sheet('Hoja1')
    for r in range(120):
        sheet.write(r, 0, 'VECINO %03d' % r)
        sheet.write(r, 1, '%04d' % r)
        sheet.write(r, 2, r % 10 + 1)
        sheet.write(r, 7, 'NOTA %03d ' % r + 'X' * 60)
    sheet.write(120, 0, 'L' * 9000)


def first_sheet_empty(book):
    book.add_sheet('Blank')
    users = book.add_sheet('Users')
    users.write(0, 0, 'PEDRO')
    users.write(0, 1, 7)


if xlwt:
    put('fuzz_import', 'xls-titles-numbers-replace', b'\1' + workbook(titles_and_numbers))
    put('fuzz_import', 'xls-several-sheets-append', b'\3' + workbook(several_sheets))
    put('fuzz_import', 'xls-long-shared-strings-replace', b'\1' + workbook(long_shared_strings))
    put('fuzz_import', 'xls-first-sheet-empty-replace', b'\1' + workbook(first_sheet_empty))
