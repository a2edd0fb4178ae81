# Appends "<name> <bytes before> <bytes after>" for one release binary to OUT
# and prints it (cmake -DBEFORE=... -DAFTER=... -DOUT=... -P record_size.cmake).
file(SIZE ${BEFORE} before)
file(SIZE ${AFTER} after)
get_filename_component(name ${AFTER} NAME)
file(APPEND ${OUT} "${name} ${before} ${after}\n")
message("${name}: ${before} -> ${after} bytes")
