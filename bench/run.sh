#!/usr/bin/env bash
# Measures Quillmend against cat, grep, sed, perl and cp in one run; see the
# README's "Performance" section. Options: --size-mib N (default 1024),
# --adversarial-mib N (default 64), --files N (default 10000), --reps N
# (default 5), --budget SECONDS, --only abcdefgh, --temp DIR, --keep. The work is done by bench.py beside this file.
set -euo pipefail
exec python3 "$(dirname "$0")/bench.py" "$@"
