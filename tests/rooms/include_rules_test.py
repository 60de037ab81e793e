#!/usr/bin/env python3
"""The rooms' import rules, read from the #include lines of the sources.

Linking cannot enforce them (every target has the project root on its include
path), so this test does: a room includes only the rooms below it, the HTTP
files know no Modbus, the master writes to no standard stream and catches no
signal, and the includes between files form no loop.

Usage: include_rules_test.py PROJECT_ROOT
"""
import os
import re
import sys
import tempfile
import unittest

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
SOURCES = ('.h', '.hpp', '.cpp')
ROOMS = ('base', 'link', 'tables', 'unit', 'master', 'formats', 'serve', 'cli',
         'console', 'sim', 'resources', 'launcher')

# (room or file prefix, rooms it must not include from, why)
FORBIDDEN = [
    ('base/', ('link/', 'tables/', 'unit/', 'master/', 'formats/', 'serve/', 'cli/', 'console/'),
     'the base helpers stand below everything'),
    ('link/', ('master/', 'formats/', 'serve/', 'cli/', 'console/'),
     'the link stands below the master and the window'),
    ('unit/', ('master/', 'formats/', 'serve/', 'cli/', 'console/'),
     'the unit\'s knowledge stands below the master and the window'),
    ('master/', ('cli/', 'formats/', 'serve/', 'console/'),
     'the master is a library under k40ctl, its formats and its server'),
    ('formats/', ('cli/', 'serve/', 'console/', 'link/', 'base/'),
     'the formats stand below the server and k40ctl, and know records, not the line'),
    ('serve/', ('cli/', 'console/'), 'the server never knows the program that assembles it'),
    ('cli/', ('console/',), 'k40ctl has no window'),
    ('serve/Http', ('master/', 'unit/', 'link/'), 'the HTTP files know no Modbus'),
    ('serve/ServerCore', ('master/', 'unit/', 'link/'), 'the HTTP files know no Modbus'),
    ('serve/ListenSocket', ('master/', 'unit/', 'link/'), 'the HTTP files know no Modbus'),
    ('serve/posix/ListenSocket', ('master/', 'unit/', 'link/'), 'the HTTP files know no Modbus'),
    ('serve/win32/ListenSocket', ('master/', 'unit/', 'link/'), 'the HTTP files know no Modbus'),
]
# Libraries a room must not use: (room, system include prefixes).
FORBIDDEN_SYSTEM = [
    ('master/', ('CLI/', 'boost/', 'nlohmann/', 'Q', 'csignal', 'signal.h', 'iostream'),
     'the master uses no CLI11, Boost, JSON or Qt, and handles no signals'),
    ('formats/', ('CLI/', 'boost/', 'Q', 'csignal', 'iostream', 'fstream'),
     'the formats are pure functions to text'),
    ('link/', ('Q',), 'no Qt below the window'),
    ('unit/', ('Q',), 'no Qt below the window'),
    ('tables/', ('Q',), 'no Qt below the window'),
    ('serve/', ('Q', 'CLI/'), 'the server has no Qt and no command line'),
    ('cli/', ('Q',), 'k40ctl has no Qt'),
]
# What the master must not write to: the program's own streams.
STANDARD_STREAMS = re.compile(r'\b(stdout|stderr|std::cout|std::cerr|std::clog|printf\s*\()')


def sources(root):
    for room in ROOMS:
        for folder, _, files in os.walk(os.path.join(root, room)):
            for name in files:
                if name.endswith(SOURCES):
                    path = os.path.join(folder, name)
                    yield os.path.relpath(path, root).replace(os.sep, '/')


def includes(root, rel):
    with open(os.path.join(root, rel), encoding='utf-8') as f:
        text = f.read()
    return text, [(kind == '"', name) for kind, name in INCLUDE.findall(text)]


def resolve(root, rel, name):
    """A quoted include as a path from the project root, or None."""
    for candidate in (name, os.path.join(os.path.dirname(rel), name)):
        candidate = os.path.normpath(candidate).replace(os.sep, '/')
        if os.path.isfile(os.path.join(root, candidate)):
            return candidate
    return None


def code_only(text):
    """The text without comments and string literals."""
    text = re.sub(r'/\*.*?\*/', ' ', text, flags=re.S)
    text = re.sub(r'//[^\n]*', ' ', text)
    return re.sub(r'"(\\.|[^"\\\n])*"', '""', text)


def violations(root):
    found, graph = [], {}
    for rel in sources(root):
        text, incs = includes(root, rel)
        edges = graph.setdefault(rel, set())
        for quoted, name in incs:
            if quoted:
                target = resolve(root, rel, name)
                if target:
                    edges.add(target)
                for prefix, banned, why in FORBIDDEN:
                    if rel.startswith(prefix) and (target or name).startswith(banned):
                        found.append(f'{rel} includes {name}: {why}')
            else:
                for prefix, banned, why in FORBIDDEN_SYSTEM:
                    if rel.startswith(prefix) and name.startswith(banned):
                        found.append(f'{rel} includes <{name}>: {why}')
        if rel.startswith('master/') and STANDARD_STREAMS.search(code_only(text)):
            found.append(f'{rel} writes to a standard stream: the master writes only to a '
                         'stream it is handed')
    found.extend(f'include loop: {" -> ".join(c)}' for c in loops(graph))
    return found


def loops(graph):
    """Every cycle found by a depth-first walk, each as its files in order."""
    cycles, state, stack = [], {}, []

    def walk(node):
        state[node] = 'open'
        stack.append(node)
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == 'open':
                cycles.append(stack[stack.index(nxt):] + [nxt])
            elif nxt not in state:
                walk(nxt)
        stack.pop()
        state[node] = 'done'

    for node in sorted(graph):
        if node not in state:
            walk(node)
    return cycles


class IncludeRules(unittest.TestCase):
    def test_the_project_keeps_its_rooms(self):
        self.assertEqual(violations(ROOT), [])

    def test_the_checker_sees_each_kind_of_breach(self):
        # A small tree with one breach of each rule, so that a checker that
        # stopped seeing them would fail here rather than pass everything.
        tree = {
            'cli/Options.h': '',
            'master/Poller.h': '#include "cli/Options.h"\n',
            'master/Log.cpp': '#include <cstdio>\nvoid f() { std::fputs("x", stderr); }\n',
            'formats/Csv.cpp': '#include "serve/Api.h"\n',
            'serve/Api.h': '#include <CLI/CLI.hpp>\n',
            'serve/HttpParse.cpp': '#include "link/Crc.h"\n',
            'link/Crc.h': '#include "link/Frame.h"\n',
            'link/Frame.h': '#include "Crc.h"\n',
            'unit/Ok.h': '// #include "cli/Options.h" in a comment is no include of it\n',
        }
        with tempfile.TemporaryDirectory() as root:
            for rel, text in tree.items():
                os.makedirs(os.path.join(root, os.path.dirname(rel)), exist_ok=True)
                with open(os.path.join(root, rel), 'w', encoding='utf-8') as f:
                    f.write(text)
            found = violations(root)
        expected = [
            'master/Poller.h includes cli/Options.h',
            'master/Log.cpp writes to a standard stream',
            'formats/Csv.cpp includes serve/Api.h',
            'serve/Api.h includes <CLI/CLI.hpp>',
            'serve/HttpParse.cpp includes link/Crc.h',
            'include loop: link/Crc.h -> link/Frame.h -> link/Crc.h',
        ]
        for start in expected:
            self.assertTrue(any(v.startswith(start) for v in found), f'{start} not seen in {found}')
        self.assertEqual(len(found), len(expected), found)


if __name__ == '__main__':
    ROOT = os.path.abspath(sys.argv.pop(1))
    unittest.main()
