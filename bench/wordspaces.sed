# The word spaces the editor inserts on opening, for a peer of quillex-cli:
# a blank between a number and a letter. Lines with a comment, quote or
# expression get it only before the first of them.
/[(;"[]/!{
  s/([0-9.])([A-Za-z])/\1 \2/g
  b wordspaces_done
}
:wordspaces_more
s/^([^(;"[]*[0-9.])([A-Za-z])/\1 \2/
t wordspaces_more
:wordspaces_done
