#!/usr/bin/env bash
# check-instructions.sh OBJDUMP PROGRAM.exe...: passes when the programs' code
# holds only instructions that a 386 executes, the oldest processor Windows 95
# runs on. Refused: the Pentium Pro's conditional moves and compares (cmov,
# fcmov, fcomi, fucomi) and long NOPs, the 486's bswap, cmpxchg and xadd, the
# Pentium's cpuid, rdtsc and cmpxchg8b, and anything of MMX or SSE. Wine and
# every processor of today run them all, so only the disassembly shows them;
# whatever the linker brought in from the compiler's libraries counts too.
set -euo pipefail
export LC_ALL=C  # objdump's words are read
objdump=$1
shift
refused='^(cmov[a-z]*|fcmov[a-z]*|fcomip?|fucomip?|nop[lw]|sysenter|sysexit|rdpmc|bswap|cmpxchg[a-z0-9]*|xadd[a-z]?|invd|wbinvd|invlpg|cpuid|rdtsc|rdmsr|wrmsr|rsm|emms|femms|prefetch[a-z0-9]*|[slm]fence|movnti|clflush|fxsave|fxrstor|ldmxcsr|stmxcsr|fisttp[a-z]*)$'
status=0
for exe in "$@"; do
  # Each instruction line is "address:<tab>mnemonic operands"; prefixes such
  # as lock or rep stand before the mnemonic.
  found=$("$objdump" -d --no-show-raw-insn "$exe" | awk -v refused="$refused" -F'\t' '
    NF >= 2 && $1 ~ /^ *[0-9a-f]+:$/ {
      n = split($2, word, /[ ,]+/)
      i = 1
      while (i < n && word[i] ~ /^(lock|rep|repz|repe|repnz|repne|data16|addr16|data32|addr32|[c-gs]s)$/) i++
      if (word[i] ~ refused || $2 ~ /%[xy]?mm[0-9]/) print $1 "\t" $2
    }')
  if [ -n "$found" ]; then
    echo "$exe: $(wc -l <<<"$found") instructions a 386 cannot execute, first ones:" >&2
    head -n 12 <<<"$found" >&2
    status=1
  else
    echo "$exe: only 386 instructions"
  fi
done
exit $status
