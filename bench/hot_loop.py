#!/usr/bin/env python3
"""The hot loop of a tlf2pos run and a static estimate of its speed.

    bench/hot_loop.py PROGRAM INPUT.tlf [CPU...]

Runs PROGRAM on INPUT.tlf under callgrind (in an empty scratch folder),
finds the function that executes the most instructions, and takes from it
the instructions executed at least once per number on the record lines:
the path the common number takes, in address order, branches left out.
That straight-line path goes to llvm-mca (Debian's llvm package) for each
CPU model named (default: znver3 sapphirerapids), as one iteration of a
loop: its registers carry over from one number to the next, as the scan
position does. llvm-mca then tells the cycles per number, the bound that
the CPU's execution units alone set ("Block RThroughput"), and the chain
of dependent instructions that holds it back. A number of cycles well
above that bound means the numbers wait on one another, not on the units.

Needs valgrind, objdump and llvm-mca.
"""
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile


def counts_by_address(out_file, program):
    """Instructions of `program` executed at each of its addresses, from
    callgrind's --dump-instr=yes output (the cost lines after calls= are
    inclusive costs of the call, not of the instruction; other objects, the
    C library's, have addresses of their own)."""
    counts, pos, after_call = collections.Counter(), 0, False
    objects, current = {}, None
    for line in open(out_file):
        # An object's name comes with its number where it first appears,
        # which may be a line naming the object a call goes to (cob=).
        ob = re.match(r'^(c?)ob=\((\d+)\)(?: (.*))?$', line.rstrip('\n'))
        if ob:
            if ob.group(3):
                objects[ob.group(2)] = ob.group(3)
            if not ob.group(1):
                current = objects.get(ob.group(2))
            continue
        if current != program:
            continue
        if line.startswith('calls='):
            after_call = True
            continue
        m = re.match(r'^(0x[0-9a-f]+|[+-]\d+|\*)\s+\S+\s+(\d+)', line)
        if not m:
            continue
        a = m.group(1)
        pos = int(a, 16) if a.startswith('0x') else pos if a == '*' else pos + int(a)
        if after_call:
            after_call = False
            continue
        counts[pos] += int(m.group(2))
    return counts


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    program, tlf = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    cpus = sys.argv[3:] or ['znver3', 'sapphirerapids']
    for tool in ('valgrind', 'objdump', 'llvm-mca'):
        if not shutil.which(tool):
            sys.exit(f'hot_loop.py needs {tool}')
    with open(tlf, 'rb') as f:
        values = sum(len(line.split()) for i, line in enumerate(f) if i > 0)
    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, 'callgrind.out')
        run = os.path.join(scratch, 'run')
        os.mkdir(run)
        subprocess.run(['valgrind', '-q', '--tool=callgrind', '--dump-instr=yes',
                        f'--callgrind-out-file={out}', program, tlf],
                       cwd=run, stdout=subprocess.DEVNULL, check=False)
        counts = counts_by_address(out, program)
    listing = subprocess.run(['objdump', '-d', '--no-show-raw-insn', '-C', program],
                             capture_output=True, text=True, check=True).stdout
    functions, name = collections.defaultdict(list), None
    for line in listing.splitlines():
        head = re.match(r'^[0-9a-f]+ <(.*)>:$', line)
        if head:
            name = head.group(1)
            continue
        ins = re.match(r'^\s+([0-9a-f]+):\t(.*)$', line)
        if ins and name:
            functions[name].append((int(ins.group(1), 16), ins.group(2)))
    # callgrind gives a position-independent program's addresses as objdump
    # does, relative to the file.
    total = {f: sum(counts.get(a, 0) for a, _ in ins) for f, ins in functions.items()}
    hot = max(total, key=total.get)
    path = [text for a, text in functions[hot]
            if counts.get(a, 0) >= values / 2 and not re.match(r'(j[a-z]+|call|ret)\b', text)]
    path = [re.sub(r'\s*(#.*|<[^>]*>)', '', text) for text in path]
    print(f'{hot}: {total[hot] / values:.1f} instructions per number '
          f'({len(path)} on the common path, branches left out)')
    with tempfile.NamedTemporaryFile('w', suffix='.s') as s:
        s.write('\n'.join(path) + '\n')
        s.flush()
        for cpu in cpus:
            mca = subprocess.run(['llvm-mca', '-mtriple=x86_64-linux-gnu', f'-mcpu={cpu}',
                                  '-iterations=300', '--bottleneck-analysis', s.name],
                                 capture_output=True, text=True, check=True).stdout
            field = lambda key: re.search(rf'^{key}:\s+([\d.]+)', mca, re.M).group(1)
            deps = re.search(r'Data Dependencies:\s+\[\s*([\d.]+)%', mca)
            print(f'{cpu}: {int(field("Total Cycles")) / 300:.1f} cycles per number, '
                  f'the units alone {field("Block RThroughput")}; IPC {field("IPC")}; '
                  f'cycles held back by dependencies {deps.group(1) if deps else "0"}%')


if __name__ == '__main__':
    main()
