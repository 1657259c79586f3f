# Builds the expected files of the small worked firing (tests/golden/worked_example_saida_*.txt)
# record by record from the layouts of the run log, the summary report and the curve table,
# with the column of every value checked. Usage: python3 worked_example.py tests/golden
# Case: ti = 0, tf = 0.4, Fcor = 0, M = 0.01 kg, w = 10 Hz, nmax = 100, toB = graf = abreB = 0,
# caso teste1, titulo "Motor de teste"; samples (-0.1, 0) (0, 0) (0.1, 10) (0.2, 20) (0.3, 10)
# (0.4, 0) (0.5, 0) (0.6, 5). Results: It = 4 N s, Fmed = 10 N, class B10.
import sys
out = sys.argv[1]
def rec(*parts):
    return ''.join(parts)
def at(col, text, cur):  # tab to column
    assert len(cur) < col, (cur, col)
    return cur + ' '*(col-1-len(cur)) + text

banner = ['#',
          at(4, 'Saída do programa KALVORESTINE 2.0.6.2, versão de 19 Nov 2012', '#'),
          '#',
          at(4, 'Caso   = teste1', '#'),
          '#',
          at(4, 'Título = Motor de teste', '#'),
          '#']
assert len(banner[1]) == 64 and banner[3].index('=') == 10 and banner[5].index('=') == 10

# Run log
def echo(n, t, f):
    r = '%5d' % n + '   ' + t + f
    assert len(r) == 35
    return r
H = banner + [' Leu os dados principais',
     ' Vai alocar memória para os vetores',
     ' vai começar o cálculo de tq, fm, dt, Ag e Ae',
     ' Vai iniciar a leitura de t e F do arquivo original da célula de carga',
     '  ponto    t (s)      F (N)',
     echo(1, '   0.0000000', '  0.0000000E+00'),
     echo(2, '   0.1000000', '  1.0000000E+01'),
     echo(3, '   0.2000000', '  2.0000000E+01'),
     echo(4, '   0.3000000', '  1.0000000E+01'),
     echo(5, '   0.4000000', '  0.0000000E+00'),
     ' Terminou a leitura de t e F do arquivo original da célula de carga']
ext = [('fm  = fluxo de massa médio = M/tq (g/s) = ', 42, '   2.500000E+01', 57),
       ('Fmin = empuxo mínimo (N) = ', 27, '   0.000000E+00', 42),
       ('tmin-ti = tempo corrigido do empuxo mínimo (s) = ', 49, '  0.0000000E+00', 64),
       ('tmin    = tempo original do empuxo mínimo (s)  = ', 49, '  0.0000000E+00', 64),
       ('Fmax = empuxo máximo (N) = ', 27, '   2.000000E+01', 42),
       ('tmax-ti = tempo corrigido do empuxo máximo (s) = ', 49, '  2.0000000E-01', 64),
       ('tmax    = tempo original do empuxo máximo (s)  = ', 49, '  2.0000000E-01', 64),
       ('nmax = número máximo de pontos para a curva de empuxo = ', 56, '     100', 64),
       ('nc = número de pontos da curva processada = ', 44, '     5', 50)]
for label, ll, v, rl in ext:
    assert len(label) == ll, label
    assert len(label + v) == rl
    H.append(label + v)
H += [' ' + p for p in ['vai começar o cálculo de Ii e It',
     'vai começar o cálculo de Mi (estimativa inicial) e Fmed',
     'vai começar o cálculo de fmi (estimativa inicial)',
     'vai começar o cálculo de ci (estimativa inicial)',
     'vai começar o cálculo de c e Is',
     'vai começar a determinação da classe do motor',
     'vai começar a escrita da saída A',
     'vai começar a escrita da saída B',
     'vai começar a abrir os arquivos de saída']]
assert len(H) == 32 + 5 - 1  # graf = 0

# Summary report: (record number, text, value columns)
def val(label, v, first, last):
    assert len(label) == first - 1, (label, len(label), first)
    assert len(v) == last - first + 1
    return label + v
A = banner + ['', '', ' ---------- DADOS ----------', '', '',
    val('   original = nome do arquivo de dados originais de empuxo versus tempo = ', 'celula.txt', 75, 84), '',
    val('   ti = tempo original inicial (s) = ', '  0.0000000E+00', 38, 52), '',
    val('   tf = tempo original final (s)   = ', '  4.0000000E-01', 38, 52), '',
    val('   Fcor = valor de corte do empuxo da curva de empuxo (N) = ', '   0.000000E+00', 61, 75), '',
    val('   M = massa de propelente (g) = ', '   1.000000E+01', 34, 48), '',
    val('   w = freqüência da aquisição de dados (Hz) = ', '    10', 48, 53), '',
    val('   dt = intervalo de tempo entre duas medidas (s) = ', '  1.0000000E-01', 53, 67), '',
    val('   go = aceleração gravitacional ao nível do mar (m/s2) = ', '   9.806650E+00', 59, 73), '',
    val('   nmax = número máximo de pontos para a curva de empuxo = ', '     100', 60, 67),
    val('   nc = número de pontos da curva processada = ', '     5', 48, 53),
    '', '', ' ---------- RESULTADOS PRINCIPAIS ----------', '', '',
    val('   It  = impulso total real (Ns) = ', '   4.000000E+00', 36, 50), '',
    val('   Fmed   = empuxo médio (N) = ', '   1.000000E+01', 32, 46), '',
    val('   tq     = tempo de queima (s) = ', '  4.0000000E-01', 35, 49), '',
    val('   classe = classificação do motor =   ', 'B10', 40, 42),
    '', '', ' ---------- OUTROS RESULTADOS ----------', '', '',
    val('   c   = velocidade de exaustão efetiva média (m/s) = ', '   4.000000E+02', 55, 69), '',
    val('   Is  = impulso específico médio (s) = ', '   4.078865E+01', 41, 55),
    '', '']
hdr = ' --- variável ---'
for cap in ['--- média -----', '--- máximo ----', '--- mínimo ----', '-- max / med --', '-- min / med --']:
    assert len(cap) == 15
    hdr += '   ' + cap
assert len(hdr) == 107 and hdr[20:35] == '--- média -----' and hdr[92:107] == '-- min / med --'
row = ' F real [N] .....'
assert len(row) == 17
for v in ['   1.000000E+01', '   2.000000E+01', '   0.000000E+00', '   2.000000E+00', '   0.000000E+00']:
    row += '   ' + v
assert len(row) == 107
A += [hdr, '', row]
assert len(A) == 55
assert A[41].startswith('   classe') and A[29].startswith('   nc') and A[52] == hdr

# Curve table
B = list(banner)
h = at(61, 'M [g]', at(46, 'fm [g/s]', at(31, 'I [Ns]', at(16, 'F [N]', at(4, 't [s]', '#')))))
assert len(h) == 65
B.append(h)
def e(x): return '   ' + x
pts = [('   0.0000000', '0.000000E+00', '0.000000E+00', '0.000000E+00', '0.000000E+00'),
       ('   0.1000000', '1.000000E+01', '5.000000E-01', '1.250000E+01', '1.250000E+00'),
       ('   0.2000000', '2.000000E+01', '2.000000E+00', '3.750000E+01', '5.000000E+00'),
       ('   0.3000000', '1.000000E+01', '3.500000E+00', '3.750000E+01', '8.750000E+00'),
       ('   0.4000000', '0.000000E+00', '4.000000E+00', '1.250000E+01', '1.000000E+01')]
for p in pts:
    r = p[0] + ''.join(e(x) for x in p[1:])
    assert len(r) == 72
    B.append(r)

for name, recs in [('H', H), ('A', A), ('B', B)]:
    with open(f'{out}/worked_example_saida_{name}.txt', 'wb') as f:
        f.write(''.join(r + '\r\n' for r in recs).encode('cp1252'))
