# Fetches Debian source packages of this release and unpacks them with
# Debian's patches applied, for the scripts that build the game's libraries
# for another platform (scripts/web_deps.sh for the browser,
# scripts/windows_deps.sh for Windows). Sourced, not run:
#
#   source scripts/debian_sources.sh
#   debian_sources WORK PACKAGE...
#
# unpacks each PACKAGE into WORK/PACKAGE and leaves "PACKAGE VERSION" lines
# in the array source_versions (for the caller's stamp). WORK must exist.
#
# The sources come through `apt-get source`, which needs deb-src entries that
# the machine has none of. They are derived here from the machine's own apt
# sources (same archives and suites of this release) in a private apt
# configuration under WORK, so nothing in /etc changes.

debian_sources() {
  local work=$1
  shift
  # apt fetches as the unprivileged _apt user when run as root; it must be
  # able to reach the folders it writes to.
  chmod 755 "$work"

  # deb-src entries for every archive and suite of this release that the
  # machine installs from. Other repositories (a vendor's own) seldom publish
  # sources, and a missing index would fail the update.
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || { echo "debian_sources: no VERSION_CODENAME in /etc/os-release" >&2; return 1; }
  local apt_dir="$work/apt"
  mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$work/src"
  : >"$apt_dir/sources.list"

  # One-line format: "deb [options] URI SUITE COMPONENT...".
  local list type rest options uri suite components
  for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$list" ] || continue
    while read -r type rest; do
      [ "$type" = deb ] || continue
      options=""
      if [[ "$rest" == \[* ]]; then
        options="${rest%%]*}]"
        rest="${rest#*]}"
      fi
      read -r uri suite components <<<"$rest"
      [ "$suite" = "$codename" ] || [[ "$suite" == "$codename"-* ]] || continue
      echo "deb-src $options $uri $suite $components" >>"$apt_dir/sources.list"
    done <"$list"
  done

  # deb822 format: stanzas of "Field: value" lines separated by blank lines.
  local sources
  for sources in /etc/apt/sources.list.d/*.sources; do
    [ -f "$sources" ] || continue
    awk -v codename="$codename" '
      function flush(   i, n, s, kept, line) {
        if (types ~ /(^| )deb( |$)/ && enabled != "no") {
          n = split(suites, s, " ")
          kept = ""
          for (i = 1; i <= n; i++)
            if (s[i] == codename || index(s[i], codename "-") == 1) kept = kept " " s[i]
          if (kept != "") {
            print "Types: deb-src"
            print "Suites:" kept
            for (i = 1; i <= nother; i++) print other[i]
            print ""
          }
        }
        types = ""; suites = ""; enabled = ""; nother = 0
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      {
        field = tolower($1)
        value = $0; sub(/^[^:]*:[ \t]*/, "", value)
        if (field == "types:") types = value
        else if (field == "suites:") suites = value
        else if (field == "enabled:") enabled = tolower(value)
        else other[++nother] = $0
      }
      END { flush() }
    ' "$sources" >"$apt_dir/parts/$(basename "$sources")"
  done

  if ! grep -q . "$apt_dir/sources.list" "$apt_dir"/parts/* 2>/dev/null; then
    echo "debian_sources: the apt sources name no archive of $codename to take source packages from" >&2
    return 1
  fi

  local apt_private=(
    -o "Dir::Etc::SourceList=$apt_dir/sources.list"
    -o "Dir::Etc::SourceParts=$apt_dir/parts"
    -o "Dir::State::Lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir/cache"
  )
  if [ "$(id -u)" -eq 0 ] && id _apt >/dev/null 2>&1; then
    chown -R _apt "$apt_dir/lists" "$apt_dir/cache" "$work/src"
  fi

  echo "debian_sources: fetching $*"
  apt-get "${apt_private[@]}" -qq update || return 1
  # The newest version first; the release's own version if the archive that
  # lists the newest cannot serve its files (seen with the security archive's
  # sources behind a mirror).
  # If a mirror serves the upstream tarball but not Debian's own part (seen
  # with libepoxy's .debian.tar.xz), the upstream tarball is used alone.
  local package dsc version orig
  local -A upstream_only=()
  for package in "$@"; do
    if (cd "$work/src" && apt-get "${apt_private[@]}" -qq source --download-only "$package" 2>/dev/null); then
      continue
    fi
    rm -f "$work/src/${package}"_*
    (cd "$work/src" && apt-get "${apt_private[@]}" -qq source --download-only "$package/$codename" 2>/dev/null) &&
      continue
    if ls "$work/src/${package}"_*.dsc "$work/src/${package}"_*.orig.tar.* >/dev/null 2>&1; then
      echo "debian_sources: only the upstream tarball of $package could be fetched; it is built without Debian's patches" >&2
      upstream_only[$package]=1
      continue
    fi
    echo "debian_sources: cannot fetch the source package $package" >&2
    return 1
  done

  # Unpacked with Debian's patches applied, as Debian builds them. apt has
  # already checked the files against the archive's signed index.
  source_versions=()
  for package in "$@"; do
    dsc=$(ls "$work/src/${package}"_*.dsc)
    version=$(sed -n 's/^Version: //p' "$dsc")
    if [ -n "${upstream_only[$package]:-}" ]; then
      orig=$(ls "$work/src/${package}"_*.orig.tar.*)
      mkdir -p "$work/$package"
      tar -xf "$orig" -C "$work/$package" --strip-components=1 || return 1
      source_versions+=("$package $version upstream-only")
    else
      dpkg-source --no-check -x "$dsc" "$work/$package" >/dev/null || return 1
      source_versions+=("$package $version")
    fi
  done
  echo "debian_sources: ${source_versions[*]}"
}
