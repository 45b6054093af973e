#!/usr/bin/env bash
# Measures Quillmend against cat, sed, perl and cp in one run; see the
# README's "Performance" section. Options: --size-mib N (default 1024),
# --files N (default 10000), --reps N (default 3), --only abcde, --temp DIR,
# --keep. The work is done by bench.py beside this file.
set -euo pipefail
exec python3 "$(dirname "$0")/bench.py" "$@"
