#!/usr/bin/env bash
# Starts or stops the tests' own PostgreSQL cluster: a data folder under the
# given folder, listening on no TCP port but on a Unix socket in that folder.
#   pg-cluster.sh start FOLDER [PORT]
#                                creates and starts it; prints nothing. With PORT it
#                                listens on 127.0.0.1:PORT as well (and its socket
#                                is named after PORT: add port=PORT to the URI).
#   pg-cluster.sh stop FOLDER    stops it and removes the folder
#   pg-cluster.sh halt FOLDER    stops it, ending every connection, and keeps its data
#   pg-cluster.sh resume FOLDER  starts a halted cluster again
# Tests reach it as postgresql:///kiv?host=FOLDER/socket (database "kiv",
# made at start, owned by the role that runs the tests' server). When run as
# root the cluster belongs to "nobody", since the server refuses to run as root.
set -euo pipefail

action=${1:?start or stop}
folder=${2:?folder}
bin=$(pg_config --bindir 2>/dev/null || true)
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
    bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
fi
as_owner=()
if [ "$(id -u)" -eq 0 ]; then as_owner=(runuser -u nobody --); fi

case "$action" in
start)
    if [ -f "$folder/data/postmaster.pid" ]; then "$0" stop "$folder"; fi
    rm -rf "$folder"
    mkdir -p "$folder/socket"
    if [ "$(id -u)" -eq 0 ]; then chown -R nobody "$folder"; chmod 755 "$folder"; chmod 777 "$folder/socket"; fi
    "${as_owner[@]}" "$bin/initdb" -D "$folder/data" -A trust -U kiv --no-sync -E UTF8 --locale=C.UTF-8 >"$folder/initdb.log" 2>&1 \
        || { cat "$folder/initdb.log" >&2; exit 1; }
    port=${3:-5432}
    if [ -n "${3:-}" ]; then echo "$3" >"$folder/port"; fi
    "$0" resume "$folder"
    "$bin/createdb" -h "$folder/socket" -p "$port" -U kiv kiv
    ;;
resume)
    listen="-c listen_addresses=''"
    if [ -f "$folder/port" ]; then listen="-c listen_addresses=127.0.0.1 -p $(cat "$folder/port")"; fi
    "${as_owner[@]}" "$bin/pg_ctl" -D "$folder/data" -l "$folder/server.log" -w -t 60 \
        -o "$listen -c unix_socket_directories='$folder/socket' -c fsync=off -c full_page_writes=off -c synchronous_commit=off" \
        start >/dev/null || { cat "$folder/server.log" >&2; exit 1; }
    ;;
halt)
    "${as_owner[@]}" "$bin/pg_ctl" -D "$folder/data" -m fast -w -t 60 stop >/dev/null
    ;;
stop)
    if [ -f "$folder/data/postmaster.pid" ]; then
        "${as_owner[@]}" "$bin/pg_ctl" -D "$folder/data" -m immediate -w -t 60 stop >/dev/null || true
    fi
    rm -rf "$folder"
    ;;
*)
    echo "usage: $0 start FOLDER [PORT] | stop|halt|resume FOLDER" >&2
    exit 2
    ;;
esac
