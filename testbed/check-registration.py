#!/usr/bin/env python3
"""check-registration.py MANIFEST: every test of every GoogleTest program is
run by exactly one ctest entry.

Most programs are split over several ctest entries by --gtest_filter
patterns, so a test whose suite or name no pattern covers would never run,
and one that two patterns cover would run twice. The manifest, written by
cmake/Testing.cmake, names each program with its sources and each entry with
its program and filter:

    program TARGET SOURCE...
    entry NAME TARGET [FILTER]

The tests are read from the sources (TEST and TEST_F, the only forms the
programs use; anything else that defines a test is refused, so that a new
form cannot slip past); both sides of a preprocessor condition count, so
one run covers the tests of both flavours. They are matched as GoogleTest
matches its filter: POSITIVE[-NEGATIVE], patterns joined by ':', with '*'
and '?'. Tests named DISABLED_ do not run and need no entry. Exits 1 and names every test not run,
every test run twice, and every entry that runs nothing."""

import fnmatch
import re
import sys

TEST_DEFINITION = re.compile(r'^[ \t]*(TEST|TEST_F)\(\s*(\w+)\s*,\s*(\w+)\s*\)', re.M)
ANY_TEST_MACRO = re.compile(r'^[ \t]*([A-Z_]*TEST[A-Z_]*)\(', re.M)
LINE_COMMENT = re.compile(r'//[^\n]*')


def tests_in(source):
    with open(source, encoding='utf-8') as f:
        text = LINE_COMMENT.sub('', f.read())
    unknown = {m.group(1) for m in ANY_TEST_MACRO.finditer(text)} - {'TEST', 'TEST_F'}
    if unknown:
        raise SystemExit(f'{source}: test macros this check cannot read: {", ".join(sorted(unknown))}')
    return [f'{m.group(2)}.{m.group(3)}' for m in TEST_DEFINITION.finditer(text)]


def runs(test, gtest_filter):
    positive, _, negative = (gtest_filter or '*').partition('-')

    def matches(patterns):
        return any(fnmatch.fnmatchcase(test, p) for p in patterns.split(':') if p)

    return matches(positive or '*') and not matches(negative)


def disabled(test):
    return any(part.startswith('DISABLED_') for part in test.split('.'))


def read_manifest(path):
    programs, entries = {}, []
    with open(path, encoding='utf-8') as f:
        for line in f:
            words = line.split()
            if words and words[0] == 'program':
                programs[words[1]] = words[2:]
            elif words and words[0] == 'entry':
                entries.append((words[1], words[2], words[3] if len(words) > 3 else ''))
    return programs, entries


def problems(programs, entries):
    found = []
    for program, sources in sorted(programs.items()):
        tests = [t for source in sources for t in tests_in(source) if not disabled(t)]
        own = [(name, gtest_filter) for name, target, gtest_filter in entries if target == program]
        for test in tests:
            running = [name for name, gtest_filter in own if runs(test, gtest_filter)]
            if not running:
                found.append(f'{program}: {test} is run by no ctest entry')
            elif len(running) > 1:
                found.append(f'{program}: {test} is run by {len(running)} ctest entries: {", ".join(running)}')
        for name, gtest_filter in own:
            if not any(runs(test, gtest_filter) for test in tests):
                found.append(f'{program}: ctest entry {name} runs no test (filter {gtest_filter or "none"})')
        if not own:
            found.append(f'{program}: no ctest entry runs this program')
    return found


def main(manifest):
    programs, entries = read_manifest(manifest)
    found = problems(programs, entries)
    for line in found:
        print(line)
    count = sum(len(tests_in(s)) for sources in programs.values() for s in sources)
    print(f'{len(programs)} test programs, {count} tests, {len(entries)} ctest entries: '
          f'{"each test registered exactly once" if not found else f"problems: {len(found)}"}')
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
