# What `quillex-cli split FILE -d DIR` writes, as an awk peer for the
# benchmark (LC_ALL=C awk -v dir=DIR/Velcarn -f split.awk FILE): each program
# from its 'O' or ':' line on, ':' written as 'O', framed by '%' lines, CR LF
# line ends, into NAME.CNC (NAME (2).CNC, ... for a name used again). The
# text's last line is left out when it is '%'.
function close_program() {
  if (out != "") { printf "%%\r\n" > out; close(out) }
  out = ""
}
{ sub(/\r$/, "") }
NR > 1 { handle(previous) }
{ previous = $0 }
END {
  t = previous; gsub(/^[ \t]+|[ \t]+$/, "", t)
  if (NR > 0 && t != "%") handle(previous)
  close_program()
}
function handle(line,   name, n) {
  gsub(/:/, "O", line)
  if (line ~ /^[O:]/) {
    close_program()
    name = line; gsub(/["'*\/:<>?\\|]/, "_", name)
    # A name used again gets " (2)", " (3)", ... (letter case aside).
    n = ++used[tolower(name)]
    out = dir "/" name (n > 1 ? " (" n ")" : "") ".CNC"
    printf "%%\r\n" > out
  }
  if (out != "") printf "%s\r\n", line > out
}
