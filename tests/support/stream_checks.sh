# Shell helpers for tests that look at a printer stream as a whole; sourced.

# Prints the platform (1, 2 or 3) whose document start the stream begins
# with, or 0.
stream_platform() {
  local head
  head=$(head -c 15 "$1" | od -An -v -tx1 | tr -d ' \n')
  case $head in
    1bff2d313233343558*) echo 1 ;;                      # ESC 0xFF "-12345X"
    1b252d3132333435584a5a4a5a*) echo 3 ;;              # UEL "JZJZ"
    1b252d31323334355840504a4c0d0a) echo 2 ;;           # UEL "@PJL\r\n"
    *) echo 0 ;;
  esac
}

# Fails with a message unless the stream exists, is not empty and begins
# with the document start of the given platform.
expect_platform() {
  local file=$1 want=$2 got
  if [ ! -s "$file" ]; then
    echo "FAIL: $file: no printer stream" >&2
    return 1
  fi
  got=$(stream_platform "$file")
  if [ "$got" != "$want" ]; then
    echo "FAIL: $file: stream starts like platform $got, expected $want" >&2
    return 1
  fi
}
