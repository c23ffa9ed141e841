#!/usr/bin/python3
"""Checks what Kiv writes for other programs, with real parsers.

check_page.py html FILE         the page is strict HTML5 and can run or fetch nothing
check_page.py shot FILE W H     the screenshot is a PNG of W x H that is not blank
check_page.py json KIND FILE    the JSON of kivctl KIVD --json has its documented shape
Prints what is wrong and exits 1; exits 0 when all is well.
"""
import json
import struct
import sys
import zlib


def fail(text):
    print(text)
    sys.exit(1)


def check_html(path):
    import html5lib
    with open(path, 'rb') as f:
        data = f.read()
    parser = html5lib.HTMLParser(strict=True, namespaceHTMLElements=False)
    try:
        root = parser.parse(data)
    except Exception as error:  # the strict parser raises at the first parse error
        fail('not strict HTML5: %s %s' % (error, parser.errors[:3]))
    for element in root.iter():
        tag = element.tag if isinstance(element.tag, str) else ''
        if tag in ('script', 'link', 'a', 'iframe', 'object', 'embed', 'base', 'form', 'frame'):
            fail('the page holds a <%s>' % tag)
        for name, value in element.attrib.items():
            if name.lower().startswith('on') or name.lower() in ('href', 'action', 'formaction'):
                fail('the page holds an attribute %s' % name)
            if name.lower() == 'src' and not value.startswith('data:image/'):
                fail('the page loads %s' % value)
        if tag == 'meta' and element.get('http-equiv', '').lower() == 'refresh' and 'url' in element.get('content', '').lower():
            fail('the page refreshes to another address')


def check_shot(path, width, height):
    with open(path, 'rb') as f:
        data = f.read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        fail('not a PNG')
    w, h = struct.unpack('>II', data[16:24])
    if (w, h) != (width, height):
        fail('the image is %dx%d' % (w, h))
    idat, at = b'', 8
    while at < len(data):
        length, kind = struct.unpack('>I4s', data[at:at + 8])
        if kind == b'IDAT':
            idat += data[at + 8:at + 8 + length]
        at += 12 + length
    pixels = zlib.decompress(idat)
    # A blank page is one colour: its filtered rows hold a handful of byte
    # values; text and pictures bring the many shades of anti-aliasing.
    if len(set(pixels)) < 32:
        fail('the image is blank')


def check_json(kind, path):
    with open(path, 'rb') as f:
        document = json.loads(f.read().decode('utf-8'))
    name, keys = {
        'board': ('users', ['user', 'status', 'updated', 'ext', 'department', 'login', 'comments',
                            'until', 'notRunningSince']),
        'inbox': ('messages', ['from', 'subject', 'type', 'key', 'received']),
        'statuses': ('statuses', None),
    }[kind]
    if not isinstance(document, dict) or sorted(document) != sorted(['version', name]) \
            or document['version'] != 1 or not isinstance(document[name], list):
        fail('no version 1 document with a list of %s' % name)
    # What the test asks about next: the values, one per line.
    for item in document[name]:
        if keys is None and not isinstance(item, str) or keys is not None and (
                not isinstance(item, dict) or sorted(item) != sorted(keys)
                or not all(isinstance(v, str) for v in item.values())):
            fail('an item is not %s: %r' % (keys or 'a string', item))
        print(json.dumps(item, ensure_ascii=True))


if __name__ == '__main__':
    what, args = sys.argv[1], sys.argv[2:]
    if what == 'shot':
        check_shot(args[0], int(args[1]), int(args[2]))
    else:
        {'html': check_html, 'json': check_json}.get(what, lambda *_: fail('unknown check ' + what))(*args)
