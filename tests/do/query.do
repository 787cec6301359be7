set linesize 60
set rmsg off
query
