# Sourced by scripts that start the console (and so the SIP engine): one
# engine per user at a time, so they take the lock the engine tests take.
# The file has QLockFile's layout (pid, name, host), so both sides see a lock
# left by a dead holder as stale.
qz_engine_lock_file=/tmp/linphonec-$(id -u).qztest.lock

engine_lock() { # [timeout seconds]
    local tries=$(( ${1:-120} * 5 )) pid
    for ((i = 0; i < tries; i++)); do
        if ( set -o noclobber; printf '%s\nqz-script\n%s\n' "$$" "$(hostname)" > "$qz_engine_lock_file" ) 2>/dev/null; then
            return 0
        fi
        pid=$(head -n 1 "$qz_engine_lock_file" 2>/dev/null || true)
        if [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null; then
            rm -f "$qz_engine_lock_file"
            continue
        fi
        sleep 0.2
    done
    return 1
}

engine_unlock() {
    [ "$(head -n 1 "$qz_engine_lock_file" 2>/dev/null)" = "$$" ] && rm -f "$qz_engine_lock_file"
    return 0
}
