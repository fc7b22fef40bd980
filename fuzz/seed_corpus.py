#!/usr/bin/env python3
"""Seeds the fuzz targets' corpora (fuzz/corpus/NAME/) with small real inputs: image files from the
fixtures that tests/fixtures writes and from the public corpora beside the repository, BASIC
programs (the examples and short ones written here), their compiled images, attached-files blocks
made of them, and settings files. Standard library only; the corpora are checked in, so this runs
only when they are to be made again.

Usage: seed_corpus.py FIXTURES_DIR TESTDATA_DIR VORLIX [--per-target N]
  FIXTURES_DIR  the image fixtures a test build wrote (build/test/tests/fixtures/images)
  TESTDATA_DIR  the public corpora (../shared/testdata)
  VORLIX        a vorlix executable, to compile the programs into images
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
LARGEST = 16 * 1024  # bytes; small inputs keep each run fast

PROGRAMS = {
    'select.vxa': 'a = 3\nselect a\ncase 1\nprint "one"\nendcase\ncase 3\nprint "three"\nendcase\n'
                  'case default\nprint "other"\nendcase\nendselect\n',
    'gosub.vxa': 'gosub here\nend\nhere:\nb# = 2.5 * 4\nreturn\n',
    'function.vxa': 'print twice(21)\nend\nfunction twice(n)\nr = n * 2\nendfunction r\n',
    'data.vxa': 'read a, b$, c#\nprint a, b$, c#\ndata 1, "two", 3.5\n',
    'arrays.vxa': 'dim grid(4, 4)\nfor y = 0 to 4\nfor x = 0 to 4\ngrid(x, y) = x * y\nnext x\nnext y\n'
                  'undim grid\n',
    'strings.vxa': 'a$ = "hello" + " " + "world"\nprint left$(a$, 5), right$(a$, 5), mid$(a$, 3), len(a$)\n'
                   'print upper$(a$), str$(42), val("3.5"), chr$(65), asc("A")\n',
    'maths.vxa': 'print sin(30), cos(60), sqrt(16), abs(-3), int(2.7), rnd(10), 7 mod 3, 2 ^ 8\n',
    'wait.vxa': 'sync on\ndo\ncls\nink rgb(255, 0, 0), 0\nbox 1, 1, 20, 20\nsync\nloop\n',
    'error.vxa': 'dim a(2)\na(5) = 1\n',
    'divide.vxa': 'a = 0\nb = 10 / a\nprint b\n',
    'nested.vxa': 'x = 0\nwhile x < 5\ninc x\nrepeat\ndec x\nuntil x < 3\nif x = 2 then exit\nendwhile\n',
    'text.vxa': 'set text font "arial"\nset text size 12\ntext 10, 10, "hi"\ncenter text 50, 50, "mid"\n',
    'bitmaps.vxa': 'create bitmap 1, 32, 32\nset current bitmap 1\nbox 0, 0, 10, 10\ncopy bitmap 1, 0\n'
                   'delete bitmap 1\n',
    'include.vxa': '#include "strings.vxa"\nprint "after"\n',
    'labels.vxa': 'goto skip\nprint "never"\nskip:\nend\n',
}

SETTINGS = {
    'setup.ini': '[SETTINGS]\r\nWINDOWMODE=1\r\nDEBUGMODE=0\r\nBLITFLIPMODE=1\r\n',
    'quoted.ini': '[settings]\nwindowmode = "1"\n; comment\n[ERRORS]\n161 = "The program could not be loaded"\n',
    'no_section.ini': 'WINDOWMODE=1\n[SETTINGS\nDEBUGMODE=1\n',
    'duplicates.ini': '[SETTINGS]\nWINDOWMODE=0\nWINDOWMODE=1\n[SETTINGS]\nDEBUGMODE=1\n',
    'errorlog.ini': '[ERRORLOG]\r\nSTRINGOUTPUT=x\r\nRUNTIMEERROR ON 1/2/2026 AT 3:4=Runtime Error : ERROR 7. \r\n'
                    '[VORLIXLOOPMIDDLE]\r\nPC0=7\r\nPC3=2\r\n',
    'empty_values.ini': '[SETTINGS]\n=\nWINDOWMODE=\n  DEBUGMODE  =  1  \n\n\n',
    'long_line.ini': '[SETTINGS]\nEXTERNALEDITOR=' + 'x' * 600 + '\n',
}


def copy_small(paths, folder, limit):
    os.makedirs(folder, exist_ok=True)
    chosen = sorted((p for p in paths if os.path.getsize(p) <= LARGEST), key=os.path.getsize)
    # Spread over the sizes rather than only the smallest files.
    if len(chosen) > limit:
        step = len(chosen) / limit
        chosen = [chosen[int(i * step)] for i in range(limit)]
    for path in chosen:
        shutil.copyfile(path, os.path.join(folder, os.path.basename(path)))


def files_under(folder, endings):
    found = []
    for base, _, names in os.walk(folder):
        for name in names:
            if name.lower().endswith(endings):
                found.append(os.path.join(base, name))
    return found


def block(entries, prefix=b'MZ fake executable\0'):
    """An attached-files block behind a few bytes of executable."""
    data = b''
    for name, content in entries:
        encoded = name.encode() + b'\0'
        data += struct.pack('<I', len(encoded)) + encoded + struct.pack('<I', len(content)) + content
    data += struct.pack('<I', 0)
    return prefix + data + struct.pack('<I', len(prefix))


def main():
    args = sys.argv[1:]
    per_target = 40
    if '--per-target' in args:
        at = args.index('--per-target')
        per_target = int(args[at + 1])
        del args[at:at + 2]
    if len(args) != 3:
        sys.exit(__doc__)
    fixtures, testdata, vorlix = (os.path.abspath(a) for a in args)
    corpus = os.path.join(HERE, 'corpus')
    images = os.path.join(testdata, 'images')

    for ending, target in [('jpg', 'image_jpg'), ('bmp', 'image_bmp'), ('psd', 'image_psd'), ('pcx', 'image_pcx'),
                           ('tga', 'image_tga'), ('dds', 'image_dds'), ('png', 'image_png'), ('tif', 'image_tif')]:
        endings = ('.' + ending,) + (('.rle', '.dib') if ending == 'bmp' else ())
        copy_small(files_under(fixtures, endings) + files_under(images, endings), os.path.join(corpus, target),
                   per_target)
    copy_small(files_under(os.path.join(images, 'bmp'), ('.bmp',)) + files_under(fixtures, ('.bmp',)),
               os.path.join(corpus, 'dib'), per_target)

    work = tempfile.mkdtemp()
    sources = {name: text for name, text in PROGRAMS.items()}
    for name in os.listdir(os.path.join(ROOT, 'examples')):
        if name.endswith('.vxa'):
            with open(os.path.join(ROOT, 'examples', name)) as f:
                sources['example_' + name] = f.read()
    for target in ('compiler', 'compile_run'):
        os.makedirs(os.path.join(corpus, target), exist_ok=True)
        for name, text in sources.items():
            with open(os.path.join(corpus, target, name), 'w') as f:
                f.write(text)
    images_made = {}
    for name, text in sources.items():
        source = os.path.join(work, name)
        with open(source, 'w') as f:
            f.write(text)
        output = os.path.join(work, name[:-4] + '.dat')
        if subprocess.run([vorlix, 'compile', source, '-o', output], cwd=work,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0:
            with open(output, 'rb') as f:
                images_made[name[:-4] + '.dat'] = f.read()
    os.makedirs(os.path.join(corpus, 'program_image'), exist_ok=True)
    for name, data in sorted(images_made.items()):
        with open(os.path.join(corpus, 'program_image', name), 'wb') as f:
            f.write(data)

    os.makedirs(os.path.join(corpus, 'attached_files'), exist_ok=True)
    programs = sorted(images_made.items())[:6]
    picture = open(sorted(files_under(fixtures, ('.bmp',)), key=os.path.getsize)[0], 'rb').read()
    blocks = {'empty.game': block([])}
    for name, data in programs:
        blocks['one_' + name[:-4] + '.game'] = block([('C:\\WINDOWS\\Temp\\_exefile.dat', data)])
    blocks['media.game'] = block([('_exefile.dat', programs[0][1]), ('C:\\Game\\Media\\Picture.BMP', picture),
                                  ('data\\levels.txt', b'level 1\n')])
    blocks['cut.game'] = block([('_exefile.dat', programs[0][1])])[:-9] + struct.pack('<I', 19)
    for name, data in blocks.items():
        with open(os.path.join(corpus, 'attached_files', name), 'wb') as f:
            f.write(data)

    os.makedirs(os.path.join(corpus, 'profile'), exist_ok=True)
    for name, text in SETTINGS.items():
        with open(os.path.join(corpus, 'profile', name), 'w', newline='') as f:
            f.write(text)
    words = os.path.join(ROOT, 'resources', 'lang', 'english', 'WORDS.TXT')
    with open(words, 'rb') as f:
        head = f.read(4000)
    with open(os.path.join(corpus, 'profile', 'words_head.ini'), 'wb') as f:
        f.write(head)
    shutil.rmtree(work)


if __name__ == '__main__':
    main()
