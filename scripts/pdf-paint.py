#!/usr/bin/env python3
"""Prints what the pages of a PDF document of this program paint: for each
page, the count and a digest of its painting operations with their
coordinates made absolute and the blend mode, colours, widths and dashes in
force, and of its text objects, forms followed into. Two documents that
print the same lines paint the same shapes in the same order, however
their contents are split into forms and moved by "cm"; readers may still
round the edges of the two a little differently.

    scripts/pdf-paint.py FILE.pdf...

Reads the documents the program writes (uncompressed objects, FlateDecode
streams, translations as the only "cm" after the first); others print what
they can.
"""
import hashlib
import re
import sys
import zlib


def objects(data):
    out = {}
    for m in re.finditer(rb'(?:^|\n)(\d+) 0 obj\n', data):
        end = data.find(b'\nendobj', m.end())
        out[int(m.group(1))] = data[m.end():end]
    return out


def stream(body):
    start = body.find(b'stream\n')
    end = body.rfind(b'\nendstream')
    if start < 0 or end < 0:
        return b''
    raw = body[start + 7:end]
    return zlib.decompress(raw) if b'/FlateDecode' in body[:start] else raw


def tokens(content):
    # Strings and hexadecimal strings stay whole; so do arrays of text.
    return re.findall(rb'\[[^\]]*\]|<<|>>|<[0-9A-Fa-f\s]*>|\((?:\\.|[^\\)])*\)|[^\s\[\]<>()]+', content)


def paint(content, forms, out, ox=0.0, oy=0.0, state=None):
    st = dict(state or {'rg': None, 'RG': None, 'w': None, 'd': None, 'gs': None})
    saved, path, args, text = [], [], [], None
    for t in tokens(content):
        if text is not None:
            if t == b'ET':
                out.append(('text', st['gs'], st['rg'], tuple(text)))
                text = None
            else:
                text.append(t)
            continue
        if re.fullmatch(rb'[-+]?(\d+\.?\d*|\.\d+)', t) or t[:1] in b'/[<(':
            args.append(t)
            continue
        op, a, args = t, args, []
        num = lambda k: float(a[k])
        if op == b'cm' and len(a) == 6 and num(0) == 1 and num(3) == 1 and num(1) == 0 and num(2) == 0:
            ox += num(4)
            oy += num(5)
        elif op == b'cm':
            out.append(('cm', tuple(a)))
        elif op == b'q':
            saved.append((ox, oy, dict(st)))
        elif op == b'Q' and saved:
            ox, oy, st = saved.pop()
        elif op in (b'm', b'l') and len(a) == 2:
            path.append((op, round(num(0) + ox, 4), round(num(1) + oy, 4)))
        elif op == b'c' and len(a) == 6:
            path.append((op,) + tuple(round(num(k) + (ox if k % 2 == 0 else oy), 4) for k in range(6)))
        elif op == b're' and len(a) == 4:
            path.append((op, round(num(0) + ox, 4), round(num(1) + oy, 4), num(2), num(3)))
        elif op == b'h':
            path.append((op,))
        elif op == b'n':
            out.append((op, tuple(path)))
            path = []
        elif op in (b'S', b'f', b'f*', b'B', b'B*'):
            fills, strokes = op != b'S', op in (b'S', b'B', b'B*')
            out.append((op, st['gs'], st['rg'] if fills else None, st['RG'] if strokes else None,
                        st['w'] if strokes else None, st['d'] if strokes else None, tuple(path)))
            path = []
        elif op in (b'rg', b'RG'):
            st[op.decode()] = tuple(a)
        elif op == b'w':
            st['w'] = tuple(a)
        elif op == b'd':
            st['d'] = tuple(a)
        elif op == b'gs':
            st['gs'] = tuple(a)
        elif op == b'Do' and a and a[0] in forms:
            paint(forms[a[0]], forms, out, ox, oy, st)
        elif op == b'BT':
            text = []
    return out


def pages(data):
    objs = objects(data)
    for n in sorted(objs):
        body = objs[n]
        if not re.search(rb'/Type /Page\b(?!s)', body):
            continue
        contents = re.search(rb'/Contents (\d+) 0 R', body)
        if not contents:
            continue
        forms = {}
        xobjects = re.search(rb'/XObject <<(.*?)>>', body, re.S)
        if xobjects:
            for m in re.finditer(rb'(/\w+) (\d+) 0 R', xobjects.group(1)):
                forms[m.group(1)] = stream(objs.get(int(m.group(2)), b''))
        yield paint(stream(objs[int(contents.group(1))]), forms, [])


def main():
    for name in sys.argv[1:]:
        with open(name, 'rb') as f:
            data = f.read()
        for k, ops in enumerate(pages(data), 1):
            digest = hashlib.sha256(repr(ops).encode()).hexdigest()[:32]
            print(f'{name}: page {k}: {len(ops)} operations {digest}')


if __name__ == '__main__':
    main()
