#!/usr/bin/env python3
"""Seeds the model targets' corpora (fuzz/corpus/x_model, x_compressed, x_animation, three_ds) with
small model files: the hand-written .x fixtures in text, binary and compressed form with their
damaged forms and the .3ds fixtures (written with tests/fixtures/make_models.py), the hostile
models of tests/fixtures/make_hostile_models.py in small sizes, and small files of the public
corpora beside the repository. Standard library only; the corpora are checked in, so this runs
only when they are to be made again.

Usage: seed_models.py TESTDATA_DIR
  TESTDATA_DIR  the public corpora (../shared/testdata)
"""
import hashlib
import importlib.util
import os
import shutil
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
FIXTURES = os.path.join(ROOT, 'tests', 'fixtures')
LARGEST = 16 * 1024  # bytes, for files of the public corpora


def load(name):
    found = importlib.util.spec_from_file_location(name, os.path.join(FIXTURES, name + '.py'))
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def put(target, name, data):
    folder = os.path.join(HERE, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def public_name(path, data):
    """A public corpus file's seed name: by its content, so that seeding again finds the same file."""
    return 'assimp-' + hashlib.sha1(data).hexdigest()[:12] + os.path.splitext(path)[1].lower()


def small_files(folder, endings):
    if not os.path.isdir(folder):
        return []
    return [os.path.join(folder, n) for n in sorted(os.listdir(folder))
            if n.lower().endswith(endings) and os.path.getsize(os.path.join(folder, n)) <= LARGEST]


def main():
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    testdata = sys.argv[1]
    models = load('make_models')
    hostile = load('make_hostile_models')
    work = tempfile.mkdtemp()
    try:
        models.x_variants(os.path.join(FIXTURES, 'models'), work)
        models.damaged_x(os.path.join(FIXTURES, 'models'), work)
        models.three_ds(work)
        for name in sorted(os.listdir(work)):
            with open(os.path.join(work, name), 'rb') as f:
                data = f.read()
            put('three_ds' if name.endswith('.3ds') else 'x_model', name, data)
    finally:
        shutil.rmtree(work)

    for name in sorted(os.listdir(os.path.join(FIXTURES, 'models'))):
        with open(os.path.join(FIXTURES, 'models', name), 'rb') as f:
            text = f.read()
        put('x_model', name, text)
        put('x_animation', name, text)
        # The compressed target's input: a byte that picks text and the block size, then the body.
        put('x_compressed', 'text-' + name, bytes([0x06]) + text[16:])
        put('x_compressed', 'binary-' + name, bytes([0x03]) + models.text_to_binary(text[16:].decode(), 32))
    # An animation on its own, as appending animation reads it.
    put('x_animation', 'walk-only.x', b'xof 0303txt 0032\nAnimationSet Walk {\n Animation {\n  { Knee }\n'
        b'  AnimationKey {\n   0;\n   2;\n   0;4;1.0,0.0,0.0,0.0;;,\n   10;4;0.7071068,0.7071068,0.0,0.0;;;\n  }\n'
        b' }\n Animation {\n  { Hip }\n  AnimationKey {\n   4;\n   1;\n   20;16;1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0,'
        b' 0.0,0.0,1.0,0.0, 3.0,4.0,5.0,1.0;;;\n  }\n }\n}\n')

    put('x_model', 'inflates.tzip.x', hostile.inflating_x())
    put('x_model', 'huge_texture.x', hostile.textured_x())
    put('three_ds', 'deep48.3ds', hostile.nested(48))
    put('three_ds', 'deep49.3ds', hostile.nested(49))
    put('three_ds', 'deep_chain.3ds', hostile.nested(45))
    meshes = [hostile.triangle('o%d' % i, i) for i in range(300)]
    nodes = [hostile.node(i, 'none', i - 1) for i in range(100)]
    nodes += [hostile.node(100 + i, 'o0', 99) for i in range(100)]
    put('three_ds', 'keyframer_chain.3ds', hostile.three_ds(meshes, nodes))

    # The files that once took gigabytes or minutes, in the same shape at a size under the
    # targets' longest input.
    small_x = {'repeated_keys.x': hostile.repeated_keys_x(20, 20, 20),
               'shared_mesh.x': hostile.shared_mesh_x(20, 4),
               'sibling_frames.x': hostile.sibling_frames_x(400)}
    for name, text in small_x.items():
        put('x_model', name, text)
        put('x_compressed', 'text-' + name, bytes([0x06]) + text[16:])
    put('x_animation', 'repeated_keys.x', small_x['repeated_keys.x'])
    # Small already: templates that expand to 6^15 members of no data.
    empty = hostile.empty_templates_x()
    put('x_model', 'empty_templates.x', empty)
    put('x_animation', 'empty_templates.x', empty)
    put('x_compressed', 'text-empty_templates.x', bytes([0x06]) + empty[16:])
    put('three_ds', 'long_material.3ds', hostile.long_material_3ds(256, 700))

    for path in small_files(os.path.join(testdata, 'models', 'bsd', 'X'), ('.x',)):
        with open(path, 'rb') as f:
            data = f.read()
        put('x_model', public_name(path, data), data)
        put('x_animation', public_name(path, data), data)
    for path in small_files(os.path.join(testdata, 'models', 'bsd', '3DS'), ('.3ds',)):
        with open(path, 'rb') as f:
            data = f.read()
        put('three_ds', public_name(path, data), data)
    return 0


if __name__ == '__main__':
    sys.exit(main())
