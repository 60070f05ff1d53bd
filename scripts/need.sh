# Sourced by the bench and picture scripts: `need PACKAGE...` installs the Debian packages of
# the list that are missing (with sudo unless root) and does nothing when all are there.
need() {
  local missing=() p sudo=
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    $sudo apt-get update -q || true
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
}
