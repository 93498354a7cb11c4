# Resident memory and decode lag of the long run (bench/run-all).
# Called with -e "terminal='pngcairo'; data='rss_lag.tsv'; output='rss_lag.png'".
set terminal terminal size 1000,560 font ",11"
set output output
set title "earshot over looped librivox recordings at full speed (sampled once a second)"
set xlabel "audio sent (minutes)"
set ylabel "resident memory (MB)"
set y2label "decode lag (s of audio)"
set ytics nomirror
set y2tics
set yrange [0:*]
set y2range [0:*]
set grid
set key bottom right opaque box
plot data using 2:($3/1024) axes x1y1 with lines lw 2 lc rgb "#1f77b4" title "VmRSS (MB)", \
     data using 2:4 axes x1y2 with lines lw 1 lc rgb "#d62728" title "decode lag (s)"
