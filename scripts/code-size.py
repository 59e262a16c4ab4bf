#!/usr/bin/env python3
# Non-blank lines per layer of src/, tests against program, the ten longest functions (brace
# matching of top-level definitions). Usage: scripts/code-size.py [TREE]
import os, re, sys
root = sys.argv[1] if len(sys.argv) > 1 else '.'
def files(d, exts=('.cpp', '.h')):
    for dp, dn, fn in os.walk(os.path.join(root, d)):
        for f in fn:
            if f.endswith(exts):
                yield os.path.join(dp, f)
def lines(p):
    return sum(1 for l in open(p, errors='replace') if l.strip())
layers = {}
for p in files('src'):
    layer = os.path.relpath(p, os.path.join(root, 'src')).split(os.sep)[0]
    layers[layer] = layers.get(layer, 0) + lines(p)
prog = sum(layers.values())
tests = sum(lines(p) for p in files('tests'))
print('non-blank lines per layer:', ', '.join(f'{k} {v}' for k, v in sorted(layers.items())))
print(f'program {prog}, tests {tests}, tests/program {tests/prog:.0%}')
funcs = []
sig = re.compile(r'^([A-Za-z_][\w:<>,\s\*&~]*?)\b([\w:~]+)\s*\(.*\)\s*(const)?\s*(override)?\s*(noexcept)?\s*\{\s*$')
for p in files('src', ('.cpp',)):
    src = open(p, errors='replace').read().split('\n')
    i = 0
    while i < len(src):
        l = src[i]
        m = sig.match(l)
        if m and not l.startswith((' ', '\t')) and not re.match(r'^(if|for|while|switch|namespace|class|struct)\b', l):
            depth = 0; j = i
            while j < len(src):
                depth += src[j].count('{') - src[j].count('}')
                if depth <= 0 and j > i:
                    break
                j += 1
            funcs.append((j - i + 1, m.group(2), os.path.relpath(p, root)))
            i = j
        i += 1
funcs.sort(reverse=True)
print('ten longest functions (lines):')
for n, name, p in funcs[:10]:
    print(f'  {n:4d} {name} ({p})')
