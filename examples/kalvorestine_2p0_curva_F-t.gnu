set terminal pngcairo size 900,600 noenhanced font 'Sans,11'
set encoding cp1252
set output 'kalvorestine_2p0_curva_F-t.png'
set xlabel 'tempo (s)'; set ylabel 'empuxo (N)'
set grid; set key off; set yrange [0:*]; set offsets 0, 0, graph 0.08, 0
set style data lines; set linetype 1 linewidth 2 linecolor rgb '#c0392b'
set title 'Motor D12 – ensaio estático 1'
plot 'motor_d12_saida_B.txt' using 1:2 notitle
