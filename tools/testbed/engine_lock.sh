# Sourced by scripts that start the console (and so the SIP engine), such as
# tools/screenshots.sh: one engine per user at a time, so they take the lock
# the engine tests and the call benchmark take (EngineRig::lockEngine). The
# file has QLockFile's layout (pid, program name, host), so both sides see a
# lock left by a dead holder as stale. The program name must be the one /proc
# gives for the holder's PID: QLockFile takes a lock whose name does not match
# its live holder for a stale one.
qz_engine_lock_file=/tmp/linphonec-$(id -u).qztest.lock

engine_lock() { # [timeout seconds]
    local tries=$(( ${1:-120} * 5 )) pid name
    name=$(basename "$(readlink /proc/$$/exe)")
    for ((i = 0; i < tries; i++)); do
        if ( set -o noclobber; printf '%s\n%s\n%s\n' "$$" "$name" "$(hostname)" > "$qz_engine_lock_file" ) 2>/dev/null; then
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
