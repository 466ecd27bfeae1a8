#!/usr/bin/env bash
# Installs what the build needs, builds Pontaro for Linux and starts it: the
# window, or with --cli the command line program (further arguments go to it).
#
#   sudo bash scripts/run.sh            # the window (needs a desktop session)
#   sudo bash scripts/run.sh --cli [pontaro-cli options and rules]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

target=pontaro
program=build/linux/src/ui/qt/pontaro
if [ "${1:-}" = "--cli" ]; then
    shift
    target=pontaro-cli
    program=build/linux/src/cli/pontaro-cli
fi

bash scripts/setup-debian.sh >/dev/null
[ -f build/linux/CMakeCache.txt ] || cmake --preset linux >/dev/null
cmake --build --preset linux --target "$target" >/dev/null 2>&1 ||
    cmake --build --preset linux --target "$target"  # again, to show why
exec "$program" "$@"
