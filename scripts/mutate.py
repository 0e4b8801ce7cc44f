#!/usr/bin/env python3
"""Mutation testing: plants one small fault at a time in tlf2pos's production
code, rebuilds, runs the tests and lists the faults that no test caught.

usage: scripts/mutate.py [options] [FILE...]

  FILE...        sources to mutate: paths or quoted globs, relative to the
                 repository's top (default: every .cpp and .hpp in driver/,
                 input/, decimal/, pos/ and platform/ that a Linux build
                 compiles)
  -n N           a random sample of N of their mutants (default: all)
  --since REV    only the mutants on lines added or changed since the git
                 revision REV (the checkout as it stands against REV)
  --seed S       the sample's seed (default 1): same checkout, same sample
  --list         print the mutants and exit; builds and runs nothing
  --report       print the report of the results so far and exit
  --check CMD    run CMD (with sh) on every survivor, also on those of an
                 earlier run; $TLF2POS is the mutant's program, the working
                 folder the sources with the mutant in place, $MUTATE_SCRATCH
                 a folder kept from one check to the next (for a build of
                 its own); a non-zero status means caught
  --timeout SEC  limit for one test (default 10, ten times the slowest);
                 a hang counts as killed
  -j N           build and test jobs (default 2)
  --work DIR     scratch folder, empty or one of an earlier run (default:
                 $TMPDIR/tlf2pos-mutate-<hash of the repository's path>)

The checkout as it stands (tracked and untracked files, not ignored ones) is
copied to DIR/src and built once in DIR/build (Release, Ninja when there is
one); the checkout itself is never written to. Each mutant is written into
the copy, built incrementally and tested with ctest (unit tests first, then
the rest, stopping at the first failure, package_deb left out), and the copy
is restored. Verdicts: stillborn (does not build; warnings are errors),
killed (a test failed, timed out or ran away), survived. Results go to
DIR/results-<hash of the checkout>.jsonl, one line a mutant, so an
interrupted run goes on where it stopped; a changed checkout starts a new
file. Run it under `nice -n 10`. On two cores a mutant of a .cpp costs
about 4 s, one of a header about 10 s (the tests that include it are built
again): all of a file's take minutes, a full run two to three hours.

Exit status: 0 when no mutant survived, 1 when some did (the report lists
them as file:line with the line before and after), 2 when the run could not
be made (the original fails to build or pass, a bad option, an interrupt,
a reader of its output that went away).
"""
import argparse, fcntl, fnmatch, hashlib, json, os, random, re, shutil, signal
import subprocess, sys, tempfile, time, traceback
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DEFAULT_FILES = [f'{d}/*.{x}' for d in ('driver', 'input', 'decimal', 'pos', 'platform')
                 for x in ('cpp', 'hpp')]
# Only the Windows build compiles these: their mutants would all survive here.
WINDOWS_ONLY = re.compile(r'windows')
RUNAWAY_DIR_BYTES = 256 * 1024     # an ext4 folder of some 8000 names; no test makes 200
RUNAWAY_DISK_BYTES = 2 << 30       # free space lost during one suite run

# ------------------------------------------------------------- the mutants

def code_mask(text):
    """For each character, whether it is code: not in a comment, a string or
    character literal, or a preprocessor line (mutating those is noise)."""
    mask, i, n, line_start = [True] * len(text), 0, len(text), True
    while i < n:
        c, j = text[i], None
        if line_start and c == '#':
            j = i
            while j < n and (text[j] != '\n' or text[j - 1] == '\\'):
                j += 1
        elif text.startswith('//', i):
            j = text.find('\n', i)
            j = n if j < 0 else j
        elif text.startswith('/*', i):
            j = text.find('*/', i) + 2
        elif c in '"\'':
            j = i + 1
            while text[j] != c:
                j += 2 if text[j] == '\\' else 1
            j += 1
        if j is not None:
            mask[i:j] = [False] * (j - i)
            i = j
            continue
        line_start = c == '\n' or (line_start and c.isspace())
        i += 1
    return mask

SWAP = {'<': '<=', '<=': '<', '>': '>=', '>=': '>', '==': '!=', '!=': '==',
        '+': '-', '-': '+', '*': '/', '/': '*', '%': '/', '+=': '-=', '-=': '+=',
        '*=': '/=', '/=': '*=', '&': '|', '|': '&', '^': '&', '<<': '>>', '>>': '<<',
        '&=': '|=', '|=': '&=', '<<=': '>>=', '>>=': '<<=', '&&': '||', '||': '&&',
        'true': 'false', 'false': 'true'}
# Binary operators need a blank on each side: that tells them from unary
# minus, pointers, references and template brackets in this code's style.
TOKEN_OPS = [
    ('relational', r'(?<=\s)(?:<=|>=|==|!=|<|>)(?=\s)'),
    ('arithmetic', r'(?<=\s)(?:[-+*/]=?|%)(?=\s)'),
    ('bitwise', r'(?<=\s)(?:<<=?|>>=?|[&|]=?|\^)(?=\s)'),
    ('logical', r'&&|\|\|'),
    ('remove-not', r'!(?!=)'),
    ('boolean', r'\b(?:true|false)\b'),
    ('constant', r'(?<![\w.\'])\d+(?:[uU]?[lL]{0,2}|[lL]{1,2}[uU])(?![\w.\'])'),
]
SKIP_STATEMENT = re.compile(
    r'^(return|break|continue|goto|case|default|using|typedef|static|const|constexpr|'
    r'inline|auto|int|bool|char|double|float|unsigned|long|short|struct|class|enum|'
    r'namespace|if|for|while|do|else|switch|extern|template|std::)\b')
ASSIGN = re.compile(r'^(\S+?)\s*(?:[-+*/%|&^]|<<|>>)?=(?!=)')
CALL = re.compile(r'^[\w:]+(?:(?:->|\.)\w+)*\s*\(.*\)$')
INCR = re.compile(r'^(?:(?:\+\+|--)[\w\->.\[\]]+|[\w\->.\[\]]+(?:\+\+|--))$')
FUNC = re.compile(r'^(?:\[\[[^\]]*\]\]\s*)?(?:\w+\s+)*?([\w:<>]+[*&]?)\s+[*&]?(\w+)\(')


def constants(s):
    digits = re.match(r'\d+', s).group()
    suffix, octal = s[len(digits):], len(digits) > 1 and digits[0] == '0'
    v = int(digits, 8 if octal else 10)
    if v > 65536:              # masks and limits: off by one there is noise
        return []
    return [f'0{w:o}{suffix}' if octal else f'{w}{suffix}' for w in (v + 1, v - 1) if w >= 0] + \
        ([f'-1{suffix}'] if v == 0 else [])


def mutants_of(rel, text):
    """The mutants of one source: dicts with file, line, op, the span
    [start, end) in text, and its old and new text."""
    mask = code_mask(text)
    code = ''.join(c if m or c == '\n' else ' ' for c, m in zip(text, mask))
    out = []

    def add(op, start, end, new):
        out.append({'file': rel, 'line': code.count('\n', 0, start) + 1, 'op': op,
                    'start': start, 'end': end, 'old': text[start:end], 'new': new})
    for op, rx in TOKEN_OPS:
        for m in re.finditer(rx, code):
            s = m.group()
            for new in constants(s) if op == 'constant' else ['' if op == 'remove-not' else SWAP[s]]:
                add(op, m.start(), m.end(), new)
    # Whole statements: a call or an assignment on a line of its own.
    lines, offset, prev = code.split('\n'), 0, ';'
    for ln in lines:
        s = ln.strip()
        if s:
            after_statement = prev[-1] in ';{}:' or prev.endswith('else') or (
                prev.endswith(')') and re.match(r'^(?:\}\s*)?(?:else\s+)?(?:if|for|while)\b', prev))
            if (after_statement and s.endswith(';') and not re.search(r'[{}]', s)
                    and s.count('(') == s.count(')') and not SKIP_STATEMENT.match(s)):
                body, a = s[:-1].strip(), ASSIGN.match(s[:-1].strip())
                kind = ('assignment' if (a and ' ' not in a.group(1)) or INCR.match(body)
                        else 'call' if CALL.match(body) else None)
                if kind:
                    start = offset + ln.index(s)
                    add('delete-' + kind, start, start + len(s), '{}')
            prev = s
        offset += len(ln) + 1
    # Return values: negated in a bool function, value-initialised elsewhere.
    for m in re.finditer(r'\breturn\b\s*([^;]*);', code):
        s, e = m.start(1), m.end(1)
        while e > s and text[e - 1].isspace():
            e -= 1
        expr, line = text[s:e], code.count('\n', 0, s)
        if not expr or '](' in lines[line]:          # void, or in a lambda
            continue
        rtype = next((f.group(1) for k in range(line, -1, -1)
                      if (f := FUNC.match(lines[k])) and f.group(1) not in ('return', 'else')), None)
        if rtype == 'bool' and expr not in ('true', 'false'):
            add('return-value', s, e, f'!({expr})')
        elif rtype not in (None, 'bool', 'void') and expr not in ('0', '0.0', '{}', 'nullptr'):
            add('return-value', s, e, '{}')
    for mu in out:
        mu['id'] = f"{rel}:{mu['start']}:{mu['op']}:{mu['new']}"
    return sorted(out, key=lambda mu: (mu['start'], mu['id']))


def checkout_files():
    """The checkout as the developer sees it: tracked files and untracked
    ones that are not ignored, with their bytes."""
    out = subprocess.run(['git', '-C', str(ROOT), 'ls-files', '-z', '--cached', '--others',
                          '--exclude-standard'], check=True, capture_output=True).stdout
    names = sorted({n for n in out.decode().split('\0') if n})
    return {n: (ROOT / n).read_bytes() for n in names if (ROOT / n).is_file()}


def changed_lines(rev, names):
    """The lines of each named source added or changed since the git
    revision `rev`, as the checkout stands: {name: set of line numbers}."""
    out = subprocess.run(['git', '-C', str(ROOT), 'diff', '--no-ext-diff', '-U0', rev, '--',
                          *sorted(names)], check=True, capture_output=True, text=True).stdout
    changed, name = {}, None
    for line in out.splitlines():
        if line.startswith('+++ '):
            name = line[6:] if line.startswith('+++ b/') else None
        hunk = re.match(r'@@ -\S+ \+(\d+)(?:,(\d+))? @@', line)
        if hunk and name:
            start, count = int(hunk.group(1)), int(hunk.group(2) or 1)
            changed.setdefault(name, set()).update(range(start, start + count))
    return changed


def selected(files, patterns):
    names = set()
    for p in patterns or DEFAULT_FILES:
        q = Path(p)
        if q.exists() and q.resolve().is_relative_to(ROOT):   # as the shell gave it
            p = str(q.resolve().relative_to(ROOT))
        names |= {n for n in files if fnmatch.fnmatchcase(n, p)}
    if not patterns:
        names = {n for n in names if not WINDOWS_ONLY.search(n)}
    return sorted(names)

# ------------------------------------------------------------- running

class Stop(Exception):
    """A signal asked the run to end: clean up and leave."""


def on_signal(sig, _frame):
    raise Stop(signal.Signals(sig).name)


def run(cmd, log, timeout, watch=None, **kw):
    """Runs cmd in a session of its own, its output to log. Returns the
    status, or a text telling why it was stopped. The whole session is
    killed afterwards, so no test's child outlives it."""
    with open(log, 'w') as f:
        p = subprocess.Popen(cmd, stdout=f, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                             start_new_session=True, **kw)
    t0, why = time.time(), None
    try:
        while p.poll() is None and why is None:
            time.sleep(0.1)
            why = ('timeout' if time.time() - t0 > timeout else watch() if watch else None)
    finally:
        try:
            os.killpg(p.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        p.wait()
    return why if why else p.returncode


class Lab:
    """The scratch copy, its build and the test runs."""

    def __init__(self, work, jobs, timeout):
        self.work, self.src, self.build = work, work / 'src', work / 'build'
        self.jobs, self.timeout, self.log = jobs, timeout, work / 'last.log'
        self.tmp = Path(tempfile.mkdtemp(prefix='tlf2pos-mutate-'))
        self.tmp.chmod(0o755)           # the end-to-end tests run some cases as nobody

    def close(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def sync(self, files):
        """Makes the copy equal to the checkout, writing only what differs,
        so the build stays incremental (and an interrupted mutant is undone)."""
        for n, data in files.items():
            dst = self.src / n
            if not dst.is_file() or dst.read_bytes() != data:
                dst.parent.mkdir(parents=True, exist_ok=True)
                dst.write_bytes(data)
                shutil.copymode(ROOT / n, dst)
        for p in sorted(self.src.rglob('*'), reverse=True):
            rel = str(p.relative_to(self.src))
            if p.is_file() and rel not in files:
                p.unlink()
            elif p.is_dir() and not any(p.iterdir()):
                p.rmdir()

    def configure(self):
        if (self.build / 'CMakeCache.txt').exists():
            return 0
        gen = ['-G', 'Ninja'] if shutil.which('ninja') else []
        return run(['cmake', '-S', str(self.src), '-B', str(self.build), *gen,
                    '-DCMAKE_BUILD_TYPE=Release', '-DTLF2POS_BENCH=OFF'], self.log, 300)

    def make(self):
        rc = run(['cmake', '--build', str(self.build), '-j', str(self.jobs)], self.log, 900)
        return rc, self.log.read_text(errors='replace')

    def objects(self):
        """A digest of the program's object files: equal to the original's,
        the mutant compiled to the same code and cannot be told apart."""
        h = hashlib.sha256()
        for o in sorted(self.build.glob('CMakeFiles/tlf2pos*.dir/**/*.o')):
            h.update(o.read_bytes())
        return h.hexdigest()

    def runaway(self):
        """A mutant that writes POS files without end fills a folder that
        takes minutes to delete, or the disk: stop it early."""
        try:
            if any(d.is_dir() and d.stat().st_size > RUNAWAY_DIR_BYTES
                   for d in self.tmp.glob('*/*/*')):
                return 'runaway folder'
        except OSError:                 # a test removed its folder meanwhile
            pass
        if self.free0 - shutil.disk_usage(self.tmp).free > RUNAWAY_DISK_BYTES:
            return 'runaway disk use'
        return None

    def test(self, wall):
        """Runs the suite, unit tests first (quick, and they catch most);
        returns (passed, what failed)."""
        env = dict(os.environ, TMPDIR=str(self.tmp / 'run'))
        base = ['ctest', '--test-dir', str(self.build), '-j', str(self.jobs), '--stop-on-failure',
                '--timeout', str(self.timeout)]
        t0 = time.time()
        for select in (['-R', r'^unit\.'], ['-E', r'^unit\.|^package_deb$']):
            shutil.rmtree(self.tmp / 'run', ignore_errors=True)
            (self.tmp / 'run').mkdir(mode=0o755)
            self.free0 = shutil.disk_usage(self.tmp).free
            try:
                rc = run(base + select, self.log, max(wall - (time.time() - t0), 1),
                         self.runaway, env=env)
            finally:
                shutil.rmtree(self.tmp / 'run', ignore_errors=True)
            if rc != 0:
                failed = re.findall(r'Test\s+#\d+: (\S+) \.*\s*\*\*\*(\w+)', self.log.read_text())
                stopped = [f'suite {rc}'] if isinstance(rc, str) else []
                return False, (stopped + [f'{t} ({w})' for t, w in failed])[:3] or [f'ctest {rc}']
        return True, []

    def check(self, cmd):
        (self.work / 'check').mkdir(exist_ok=True)
        env = dict(os.environ, TLF2POS=str(self.build / 'tlf2pos'), TMPDIR=str(self.tmp),
                   MUTATE_SCRATCH=str(self.work / 'check'))
        rc = run(['sh', '-c', cmd], self.log, 600, cwd=self.src, env=env)
        lines = self.log.read_text(errors='replace').strip().splitlines()
        return rc != 0, (lines[-1] if lines else f'status {rc}')[:200]

# ------------------------------------------------------------- the report

def one_line(text, start, end, new):
    """The source line(s) holding [start, end), before and after, on one line."""
    a, b = text.rfind('\n', 0, start) + 1, text.find('\n', end)
    b = len(text) if b < 0 else b
    squash = lambda s: ' '.join(s.split())[:120]
    return squash(text[a:b]), squash(text[a:start] + new + text[end:b])


def report(mutants, results, texts):
    print(f"{'file':30} {'mutants':>7} {'still':>6} {'killed':>6} {'surv':>6} {'score':>6}")
    def row(name, ms):
        rs = [results[m['id']]['verdict'] for m in ms if m['id'] in results]
        still, killed, surv = (rs.count(v) for v in ('stillborn', 'killed', 'survived'))
        score = f'{100 * killed / (killed + surv):.1f}%' if killed + surv else '-'
        print(f'{name:30} {len(ms):7} {still:6} {killed:6} {surv:6} {score:>6}')
    for f in sorted({m['file'] for m in mutants}):
        row(f, [m for m in mutants if m['file'] == f])
    row('total', mutants)
    done = [results[m['id']] for m in mutants if m['id'] in results]
    if len(done) < len(mutants):
        print(f'not run yet: {len(mutants) - len(done)}')
    print(f"time spent: {sum(r['seconds'] for r in done) / 60:.1f} min")
    survivors = [m for m in mutants if results.get(m['id'], {}).get('verdict') == 'survived']
    if survivors:
        print('\nsurvivors (no test failed):')
    for m in survivors:
        r = results[m['id']]
        before, after = one_line(texts[m['file']], m['start'], m['end'], m['new'])
        notes = ['same object code'] if r.get('same_objects') else []
        if 'check' in r:
            notes.append(f"check {'caught' if r['check_caught'] else 'missed'}: {r['check']}")
        print(f"{m['file']}:{m['line']}: {m['op']}\n    - {before}\n    + {after}")
        if notes:
            print('      (' + '; '.join(notes) + ')')
    return 1 if survivors else 0

# ------------------------------------------------------------- main

def main():
    if {'-h', '--help'} & set(sys.argv[1:]):
        print(__doc__.strip())
        return 0
    ap = argparse.ArgumentParser(usage='scripts/mutate.py [options] [FILE...]', add_help=False)
    ap.add_argument('files', nargs='*', metavar='FILE')
    ap.add_argument('-n', type=int)
    ap.add_argument('--seed', type=int, default=1)
    ap.add_argument('--since')
    ap.add_argument('--list', action='store_true')
    ap.add_argument('--report', action='store_true')
    ap.add_argument('--check')
    ap.add_argument('--timeout', type=int, default=10)
    ap.add_argument('-j', type=int, default=2, dest='jobs')
    ap.add_argument('--work', type=Path)
    a = ap.parse_args()

    files = checkout_files()
    names = selected(files, a.files)
    if not names:
        ap.error('no such source: ' + ' '.join(a.files))
    texts = {n: files[n].decode('utf-8') for n in names}
    mutants = [m for n in names for m in mutants_of(n, texts[n])]
    if a.since is not None:
        changed = changed_lines(a.since, names)
        mutants = [m for m in mutants if m['line'] in changed.get(m['file'], ())]
    if a.n is not None and a.n < len(mutants):
        keep = {m['id'] for m in random.Random(a.seed).sample(mutants, a.n)}
        mutants = [m for m in mutants if m['id'] in keep]
    if a.list:
        for m in mutants:
            print(f"{m['file']}:{m['line']}: {m['op']}: {' '.join(m['old'].split())} -> {m['new']}")
        print(f'{len(mutants)} mutants in files: {len(names)}', file=sys.stderr)
        return 0

    work = a.work or Path(tempfile.gettempdir()) / (
        'tlf2pos-mutate-' + hashlib.sha256(str(ROOT).encode()).hexdigest()[:8])
    key = hashlib.sha256(b''.join(n.encode() + b'\0' + hashlib.sha256(d).digest()
                                  for n, d in files.items())).hexdigest()[:12]
    results_path = work / f'results-{key}.jsonl'
    results = {}
    if results_path.exists():
        for line in results_path.read_text().splitlines():
            r = json.loads(line)
            results[r['id']] = r                  # a later line wins (a re-check)
    todo = [m for m in mutants if m['id'] not in results or
            (a.check and results[m['id']]['verdict'] == 'survived'
             and 'check' not in results[m['id']])]
    if a.report or not todo:
        if not results:
            print(f'no results for this checkout in {work}', file=sys.stderr)
        return report(mutants, results, texts)

    # The copy in DIR/src loses every file the checkout lacks: never take a
    # folder that holds anything but this script's own.
    if work.is_dir() and any(work.iterdir()) and not (work / 'lock').exists():
        print(f'mutate: {work} is not empty and not a scratch folder of mutate.py',
              file=sys.stderr)
        return 2
    work.mkdir(parents=True, exist_ok=True)
    lock = open(work / 'lock', 'w')
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        print(f'mutate: another run uses {work}', file=sys.stderr)
        return 2
    for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        signal.signal(sig, on_signal)
    lab = Lab(work, a.jobs, a.timeout)
    current = None                                # the source that holds a mutant
    try:
        lab.sync(files)
        t0 = time.time()
        rc = lab.configure()
        rc, out = lab.make() if rc == 0 else (rc, lab.log.read_text())
        if rc != 0:
            print(f'mutate: the original does not build:\n{out[-3000:]}', file=sys.stderr)
            return 2
        base = lab.objects()
        t1 = time.time()
        passed, failed = lab.test(900)
        if not passed:
            print(f'mutate: the original fails its tests: {failed}', file=sys.stderr)
            return 2
        wall = max(120, 20 * (time.time() - t1))  # the whole suite; beyond it a mutant hangs
        print(f'{len(mutants)} mutants, {len(todo)} to run; the original built and passed '
              f'in {time.time() - t0:.0f} s; results in {results_path}', flush=True)
        for i, m in enumerate(todo, 1):
            t = time.time()
            old = results.get(m['id'])
            text = texts[m['file']]
            assert text[m['start']:m['end']] == m['old'], m['id']
            current = lab.src / m['file']
            current.write_bytes((text[:m['start']] + m['new'] + text[m['end']:]).encode())
            rc, out = lab.make()
            if old:                               # a survivor that still needs its check
                r = dict(old)
            elif rc != 0 and 'Error running test executable' in out:
                r = dict(m, verdict='killed', by=['test discovery'])
            elif rc != 0:
                err = next((l for l in out.splitlines() if 'error:' in l), str(rc))
                r = dict(m, verdict='stillborn', why=err[-200:])
            else:
                passed, failed = lab.test(wall)
                r = dict(m, verdict='survived' if passed else 'killed', by=failed,
                         same_objects=lab.objects() == base)
            if r['verdict'] == 'survived' and a.check:
                r['check_caught'], r['check'] = lab.check(a.check)
            current.write_bytes(files[m['file']])  # built again with the next mutant
            current = None
            r['seconds'] = round(time.time() - t + (old['seconds'] if old else 0), 1)
            results[m['id']] = r
            with results_path.open('a') as f:
                f.write(json.dumps(r) + '\n')
            eta = (time.time() - t1) / i * (len(todo) - i) / 60
            by = f" by {r['by'][0]}" if r.get('by') else ''
            print(f"[{i}/{len(todo)}] {r['verdict']:9} {m['file']}:{m['line']} {m['op']} "
                  f"`{' '.join(m['old'].split())[:40]}` -> `{m['new'][:40]}`{by} "
                  f"({r['seconds']} s, {eta:.0f} min left)", flush=True)
        lab.make()                                # leave the copy built as the checkout
    except Stop as e:
        print(f'mutate: stopped by {e}; run again to go on', file=sys.stderr)
        return 2
    finally:
        for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
            signal.signal(sig, signal.SIG_IGN)    # the clean-up must not be cut short
        if current:
            current.write_bytes(files[str(current.relative_to(lab.src))])
        lab.close()
    print()
    return report(mutants, results, texts)


if __name__ == '__main__':
    try:
        sys.exit(main())
    except BrokenPipeError:
        # The reader went away (--list | head): end quietly, as a shell tool
        # does, with nothing left to flush into the closed pipe at exit.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        sys.exit(2)
    except Exception:                 # 1 means survivors: a crash must not say so
        traceback.print_exc()
        sys.exit(2)
