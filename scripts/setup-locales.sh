#!/usr/bin/env bash
# Generates the locales that the language tests switch their threads to.
#
#   scripts/setup-locales.sh        # installs Debian's `locales` if missing, then compiles the locales below
#
# The tests skip, saying which locale is missing, when one is not there; this script makes them run.
# Needs root (or sudo) for apt-get and for writing into the system's locale archive.
set -euo pipefail

# A modifier goes after the codeset, as `locale -a` and the C library spell it: sr_RS.UTF-8@latin.
locales=(fr_FR de_DE cs_CZ nb_NO es_PA af_ZA sr_RS sr_RS@latin)

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

if ! command -v localedef >/dev/null || [ ! -d /usr/share/i18n/locales ]; then
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq locales >/dev/null
fi

have=$(locale -a 2>/dev/null | tr '[:upper:]' '[:lower:]')
for name in "${locales[@]}"; do
  base=${name%%@*}
  modifier=${name#"$base"}
  # `locale -a` spells the codeset "utf8".
  if grep -qx "$(echo "$base.utf8$modifier" | tr '[:upper:]' '[:lower:]')" <<<"$have"; then continue; fi
  echo "generating $base.UTF-8$modifier"
  "${sudo[@]}" localedef -i "$name" -c -f UTF-8 -A /usr/share/locale/locale.alias "$base.UTF-8$modifier" ||
    echo "warning: could not generate $base.UTF-8$modifier; the tests that need it will skip" >&2
done
