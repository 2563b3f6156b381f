# What `quillex-cli split FILE -d DIR` writes, as an awk peer for the
# benchmark (LC_ALL=C awk -v dir=DIR/Velcarn -f split.awk FILE, FILE already
# word-spaced and in Windows-1254): each program from its 'O' or ':' line on,
# ':' written as 'O', framed by '%' lines, CR LF line ends, into NAME.CNC,
# where NAME is the start line with the characters no file name may hold as
# '_', cut to 255 bytes with ".CNC"; a name used before (letter case aside)
# gets " (2)", " (3)", ... The text's last line is left out when it is '%'.
# Names are taken as bytes: right for ASCII names, which the benchmark uses.
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
function file_name(base, suffix) {
  return substr(base, 1, 255 - length(suffix)) suffix
}
function handle(line,   base, key, name, n) {
  gsub(/:/, "O", line)
  if (line ~ /^O/) {
    close_program()
    base = line; gsub(/["'*\/:<>?\\|\001-\037]/, "_", base)
    key = tolower(base)
    n = (key in next_number) ? next_number[key] : 2
    name = file_name(base, ".CNC")
    while (tolower(name) in taken)
      name = file_name(base, " (" n++ ").CNC")
    next_number[key] = n
    taken[tolower(name)] = 1
    out = dir "/" name
    printf "%%\r\n" > out
  }
  if (out != "") printf "%s\r\n", line > out
}
