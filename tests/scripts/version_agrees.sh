#!/usr/bin/env bash
# The project's version is the one the programs print and the one the Debian
# changelog's top entry gives the package.
# Usage: version_agrees.sh VERSION CHANGELOG PELION TALLIS_SERVE
set -euo pipefail
version=$1 changelog=$2 pelion=$3 tallis_serve=$4
fail() { echo "FAIL: $*"; exit 1; }

top=$(sed -n '1s/^[a-z0-9.+-]* (\([^)]*\)).*/\1/p' "$changelog")
[[ "$top" == "$version" ]] || fail "debian/changelog's top entry is '$top', the project is $version"
for program in "$pelion" "$tallis_serve"; do
  said=$(QT_QPA_PLATFORM=offscreen "$program" --version)
  [[ "$said" == "$(basename "$program") $version" ]] || fail "$program --version says '$said'"
done
echo "version $version everywhere"
