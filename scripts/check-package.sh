#!/usr/bin/env bash
# Installs the package that `make package` wrote to build/ and checks it as a
# user would meet it: the programs run, the manual pages, the completion and
# the desktop entry are where Debian looks for them.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
package=$(ls build/kestrine_*.deb | head -n 1)
if ! dpkg -s desktop-file-utils bash-completion >/dev/null 2>&1; then
  "${sudo_cmd[@]}" apt-get update -qq
fi
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --reinstall \
  "./$package" desktop-file-utils bash-completion >/dev/null

dpkg-deb --field "$package" Depends
echo "$(stat -c %s "$package") bytes: $package"
/usr/bin/kestrine-cli --version
for page in kestrine-cli kestrine; do
  dpkg -L kestrine | grep -qx "/usr/share/man/man1/$page.1.gz"
done
desktop-file-validate /usr/share/applications/kestrine.desktop
# What bash offers after `kestrine-cli --mo<Tab>`.
offered=$(bash -c 'source /usr/share/bash-completion/bash_completion
  source /usr/share/bash-completion/completions/kestrine-cli
  COMP_WORDS=(kestrine-cli --mo); COMP_CWORD=1; COMP_LINE="kestrine-cli --mo"
  COMP_POINT=${#COMP_LINE}; _kestrine_cli kestrine-cli --mo kestrine-cli
  echo "${COMPREPLY[*]}"')
[ "$offered" = "--mode" ] || { echo "completion offered '$offered' for --mo"; exit 1; }
echo "package checked"
