#!/usr/bin/env bash
# Extracts the images of many PDF files with GNU parallel, on this machine or
# on several: the NUL-separated file list on standard input is cut into pieces
# of N files (-N, 100 by default), each piece goes to one zembrix --extract
# with a manifest of its own (MANIFEST.d/<piece>.jsonl), and when every piece
# is done their manifests are joined, in piece order, into MANIFEST.
#
#   find pdfs -name '*.pdf' -print0 | tools/extract-parallel.sh OUT MANIFEST \
#       [-N FILES] [GNU PARALLEL OPTIONS ...] [-- ZEMBRIX OPTIONS ...]
#
# Options before "--" go to parallel (-j 4, --sshlogin 8/host1,8/host2,: ...),
# the ones after it to zembrix (--format JPEG, --resume ...). The pieces are
# the same on every run of the same list and -N, so "-- --resume" continues
# each piece from its own manifest. With --sshlogin, every host must reach the
# PDFs, OUT and MANIFEST.d at the same paths (a shared folder) and have
# zembrix on its PATH. ZEMBRIX names another binary (its absolute path).
# Exit status: 0 when every piece succeeded, else 1.
set -uo pipefail

if (($# < 2)); then
  sed -n '2,17s/^# \{0,1\}//p' "$0" >&2
  exit 2
fi
out=$1 manifest=$2
shift 2
per_job=100
parallel_options=()
zembrix_options=()
while (($#)); do
  case $1 in
    -N) per_job=$2; shift 2 ;;
    --) shift; zembrix_options=("$@"); break ;;
    *) parallel_options+=("$1"); shift ;;
  esac
done

mkdir -p "$out" "$manifest.d" || exit 1
status=0
# -q quotes the command, so paths with spaces stay whole; {#} is the piece.
parallel -q --pipe --recend '\0' -N "$per_job" --keep-order "${parallel_options[@]}" \
  "${ZEMBRIX:-zembrix}" --extract --files-from - --null --out "$out" \
  --manifest "$manifest.d/{#}.jsonl" "${zembrix_options[@]}" || status=1

find "$manifest.d" -maxdepth 1 -name '*.jsonl' -print0 | sort -zV | xargs -0 -r cat > "$manifest.part" \
  && mv "$manifest.part" "$manifest" || status=1
exit $status
