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
