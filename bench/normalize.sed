# What `quillex-cli normalize` does to a Windows-1254 program, as a sed peer
# for the benchmark (run with LC_ALL=C sed -E -f wordspaces.sed -f normalize.sed):
# blank lines dropped, Turkish letters folded, upper case, any other byte
# above 127 as '?', '%' lines at both ends, a '%' inside a line moved onto a
# line of its own, CR LF line ends.
/^[[:space:]]*$/d
s/[\xC7\xE7]/C/g
s/[\xD0\xF0]/G/g
s/[\xDD\xFD]/I/g
s/[\xD6\xF6]/O/g
s/[\xDE\xFE]/S/g
s/[\xDC\xFC]/U/g
s/[\x80-\xFF]/?/g
s/.*/\U&/
1{
  /^[[:space:]]*%/!s/^/%\n/
}
/%/{
  /^[[:space:]]*%[[:space:]]*$/!{
    s/^[[:space:]]*//
    s/[[:space:]]*%[[:space:]]*/\n%\n/
    s/^\n//
    s/\n$//
  }
}
${
  /%[[:space:]]*$/!s/$/\n%/
}
s/\n/\r\n/g
s/$/\r/
