# A mode-1 run of Pi or e killed with SIGKILL at random moments (within the first 1/40 of a
# whole run after each start), started again until one run finishes; its digits against a
# reference file of digits after the point from an independent program (for example the
# GMP baseline: peer_gmp_chud pi 1000000 REF). Not part of the test suite (the suite runs
# a short version at 10^5 digits).
#
# usage: python3 bench/kill_resume.py ZEPRIX MENU REF NAME FFT_K KILLS
#   MENU 0 or 1 (Pi, file pi.txt) or 2 or 3 (e, file e.txt); NAME "Pi" or "E"
import os, random, re, signal, subprocess, sys, tempfile, time
exe = os.path.abspath(sys.argv[1])
menu, ref, name, fft = sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5]
kills_wanted = int(sys.argv[6])
result = 'pi.txt' if menu in ('0', '1') else 'e.txt'
d = tempfile.mkdtemp(dir='/tmp'); os.chdir(d)
fresh = f'{menu}\n1\n1m\n{fft}\n0\n0\n'
t0 = time.time(); subprocess.run([exe], input=fresh.encode(), capture_output=True); whole = time.time() - t0
os.remove(result)
rng = random.Random(1); kills = resumed = refused = 0
while True:
    inp = '0\n' if os.path.exists('ParamZeprix') else fresh
    p = subprocess.Popen([exe], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    p.stdin.write(inp.encode()); p.stdin.close()
    if kills < kills_wanted:
        time.sleep(rng.uniform(0, whole / 40))
        p.send_signal(signal.SIGKILL)
    out = p.stdout.read().decode(errors='replace'); p.wait()
    if 'A Parameter file exists' in out: resumed += 1
    if p.returncode == -9: kills += 1; continue
    if p.returncode != 0: refused += 1; print('status', p.returncode, out[-300:]); break
    break
text = open(result).read()
body = text[text.index(name + ' = '):]
digits = ''.join(l.split(':')[0] for l in body.split('\n')[1:])
digits = re.sub(r'[^0-9]', '', digits)
want = open(ref).read().strip()[:1000000]
print(f'{name}: whole run {whole:.2f} s, {kills} kills, {resumed} resumed runs, refused {refused}, digits equal: {digits[:1000000] == want}')
