#!/usr/bin/env bash
# Includes run one way: each floor of the service may include only floors below it, and
# the tools, the benchmark and the simulated library only what the service shares on
# purpose, and the client library nothing of the service at all. Prints every include that breaks this and fails; silent when all is in order.
set -u
cd "$(dirname "$0")/.."

rank() {
    case "$1" in
        core) echo 0 ;; tovlib) echo 1 ;; maintenance|config) echo 2 ;; datapath) echo 3 ;;
        status) echo 4 ;; alerts) echo 5 ;; handlers) echo 6 ;; app) echo 7 ;; *) echo -1 ;;
    esac
}

# Headers outside the service may share: the library's ABI, the owners and the
# component table, none of which includes anything else of the service.
shared='^(tovlib/tov_abi\.h|core/owned\.h|core/entry_point\.h|core/remote_memory\.h|maintenance/component_table\.h)$'

status=0
while IFS=: read -r file _ included; do
    included=${included#*\"}; included=${included%\"*}
    folder=${file%%/*}; target=${included%%/*}
    [ "$included" = "$target" ] && continue               # a header of the same folder
    [ "$(rank "$target")" -lt 0 ] && continue             # the public header, the system
    [ "$included" = tovlib/tov_abi.h ] && continue        # the library's ABI: data for every floor
    if [ "$folder" = client ]; then
        # The client library is linked by other people's programs: it stands on the public
        # headers alone.
        echo "check_floors: $file includes $included, but the client library includes only include/"
        status=1
    elif [ "$(rank "$folder")" -lt 0 ]; then
        [[ "$included" =~ $shared ]] && continue
        echo "check_floors: $file includes $included, which is the service's own"
        status=1
    elif [ "$folder" != "$target" ] && [ "$(rank "$target")" -ge "$(rank "$folder")" ]; then
        echo "check_floors: $file includes $included, a floor not below $folder/"
        status=1
    fi
done < <(grep -rn '^#include "' core tovlib maintenance config datapath status alerts handlers app client tools bench sim \
             --include='*.cpp' --include='*.h' --include='*.c')
exit $status
