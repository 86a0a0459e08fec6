# Shared by the scripts: make sure the build's Debian packages are there.
needed_packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev)

ensure_packages() {
  local missing=()
  for p in "${needed_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [[ ${#missing[@]} -eq 0 ]] && return 0
  echo "Installing missing packages: ${missing[*]}" >&2
  local sudo=()
  [[ $(id -u) -ne 0 ]] && sudo=(sudo)
  if ! "${sudo[@]}" apt-get update -qq || ! DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"; then
    echo "Could not install ${missing[*]}. Install them with: sudo apt-get install ${missing[*]}" >&2
    return 1
  fi
}
