#!/usr/bin/env python3
"""Seeds the static world target's corpus (fuzz/corpus/static_world/) with small world files laid
out as the engine writes them: texture groups of parts, then collision boxes; and a few damaged
ones. Standard library only; the corpus is checked in, so this runs only when it is to be made
again.

Usage: seed_static_world.py [OUTPUT_DIR]
"""
import math
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def part(vertices, indices, culling_box=0, radius_mode=0, dropped=0, extra=0, visible=1):
    """One part record: vertices are (x, y, z) tuples with a normal towards -z and u, v of 0."""
    out = struct.pack('<I', len(vertices))
    for x, y, z in vertices:
        out += struct.pack('<8f', x, y, z, 0.0, 0.0, -1.0, 0.0, 0.0)
    out += struct.pack('<I', len(indices)) + struct.pack('<%dH' % len(indices), *indices)
    n = max(len(vertices), 1)
    centre = [sum(v[a] for v in vertices) / n for a in range(3)]
    largest = max([math.dist(v, centre) for v in vertices] or [0.0])
    out += struct.pack('<5f', *centre, largest * 1.25, 0.5 * largest if radius_mode else 0.0)
    out += bytes([visible, culling_box, radius_mode, dropped, extra])
    for i in range(8):
        out += struct.pack('<3f', *[(1.0 if i & bit else -1.0) for bit in (4, 2, 1)])
    out += bytes([0, 0, 0, 0]) + struct.pack('<5f', -0.5, -0.5, 0.5, 0.5, 40.0)
    return out


def world(groups, boxes):
    out = b''
    for slot, parts in groups:
        out += b'\x01' + struct.pack('<I', slot)
        for p in parts:
            out += b'\x01' + p
        out += b'\x00'
    out += b'\x00'
    for box in boxes:
        out += b'\x01' + struct.pack('<6f', *box)
    return out + b'\x00'


def cube(cx, cy, cz, s):
    vertices = [(cx + (s if i & 4 else -s), cy + (s if i & 2 else -s), cz + (s if i & 1 else -s)) for i in range(8)]
    quads = [(0, 2, 6, 4), (1, 5, 7, 3), (0, 1, 3, 2), (4, 6, 7, 5), (0, 4, 5, 1), (2, 3, 7, 6)]
    indices = [i for a, b, c, d in quads for i in (a, b, c, a, c, d)]
    return vertices, indices


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, 'corpus', 'static_world')
    os.makedirs(folder, exist_ok=True)
    triangle = part([(0, 0, 100), (1, 1, 100), (2, 0, 100)], [0, 1, 2])
    box = part(*cube(0, 0, 80, 2))
    wall = part(*cube(0, 0, 40, 10), culling_box=1)
    seeds = {
        'empty.world': world([], []),
        'triangle.world': world([(3, [triangle])], []),
        'boxes_only.world': world([], [(0, 0, 0, 10, 10, 10), (-5, -1, -5, 5, 0, 5)]),
        'two_groups.world': world([(3, [triangle, box]), (7, [part(*cube(5, 0, 90, 1), radius_mode=1)])],
                                  [(-2, -2, 98, 2, 2, 102)]),
        'occluder.world': world([(1, [wall, part([], [], culling_box=1, dropped=1, extra=1), box])], []),
        'empty_group.world': world([(9, [])], [(1, 2, 3, 4, 5, 6)]),
        'cut.world': world([(3, [triangle, box])], [(0, 0, 0, 1, 1, 1)])[:150],
        'huge_count.world': b'\x01\x00\x00\x00\x00\x01' + struct.pack('<I', 0xFFFFFFFF) + b'\x00' * 40,
        'stray_index.world': world([(2, [part([(0, 0, 1), (1, 0, 1), (0, 1, 1)], [0, 1, 3])])], []),
        'tail.world': world([(3, [triangle])], []) + b'\x07\x07\x07',
        # Many groups, each naming a texture of its own, as a world that read its folder once a group.
        'many_groups.world': world([(i + 1, [triangle]) for i in range(25)], []),
    }
    for name, data in seeds.items():
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
