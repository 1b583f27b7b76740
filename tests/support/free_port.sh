# free_port: prints a port of 127.0.0.1 that nobody listens on now.
free_port() {
  local p
  for _ in $(seq 50); do
    p=$((20000 + RANDOM % 20000))
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return 0; }
  done
  return 1
}
