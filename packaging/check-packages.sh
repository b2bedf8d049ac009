#!/usr/bin/env bash
# check-packages.sh DIST IMAGE_VERSION: checks the Debian packages in DIST without installing them:
# contents, dependencies, the desktop entry and AppStream data, lintian, and that each packaged
# program's --version names the tool's and the image's versions; and the Ansible collection's
# archive beside them. One line per check, then
# "N passed, M failed"; exits 1 when any check failed.
set -uo pipefail

[ $# -eq 2 ] || {
    echo "usage: check-packages.sh DIST IMAGE_VERSION" >&2
    exit 2
}
DIST=$1
IMAGE_VERSION=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
passed=0
failed=0

# check NAME COMMAND...: runs COMMAND, its output kept for a failure.
check() {
    local name=$1
    shift
    if "$@" >"$WORK/out" 2>&1; then
        echo "ok    $name"
        passed=$((passed + 1))
    else
        echo "FAIL  $name"
        sed 's/^/      /' "$WORK/out" | head -n 30
        failed=$((failed + 1))
    fi
}

deb_of() { ls "$DIST"/"$1"_*.deb 2>/dev/null | head -n 1; }

lists() {  # lists DEB PATH...: every PATH is in the package
    local deb=$1 path missing=0
    shift
    dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$WORK/contents"
    for path in "$@"; do
        grep -qxF "$path" "$WORK/contents" || {
            echo "missing: $path"
            missing=1
        }
    done
    return $missing
}

depends_on() {  # depends_on DEB LIBRARY-PACKAGE: the dependencies found by dpkg-shlibdeps name it
    local depends
    depends=$(dpkg-deb -f "$1" Depends)
    echo "Depends: $depends"
    [[ $depends == *"$2"* ]]
}

version_names() {  # version_names PROGRAM: --version prints the package's and the image's versions
    local program=$1 deb own out
    deb=$(deb_of "$(basename "$program")")
    own=$(dpkg-deb -f "$deb" Version)
    own=${own%-*}
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --version) || return 1
    echo "$out"
    grep -q "^$(basename "$program") $own\$" <<<"$out" && grep -q "^firmware image $IMAGE_VERSION\$" <<<"$out"
}

no_lintian_errors() {
    lintian --tag-display-limit 0 "$@" >"$WORK/lintian" 2>&1
    cat "$WORK/lintian"
    ! grep -q '^E:' "$WORK/lintian"
}

for pkg in xqt-upgrade xqt-cli xqt-camsim; do
    check "$pkg: package built" test -n "$(deb_of $pkg)"
done
UPGRADE=$(deb_of xqt-upgrade)
CLI=$(deb_of xqt-cli)
CAMSIM=$(deb_of xqt-camsim)
ICONS=()
for size in 16 32 48 64 128 256; do
    ICONS+=("/usr/share/icons/hicolor/${size}x${size}/apps/xqt-upgrade.png")
done

check "xqt-upgrade: contents" lists "$UPGRADE" /usr/bin/xqt-upgrade /usr/share/man/man1/xqt-upgrade.1.gz \
    /usr/share/applications/com.vexo.XqtUpgrade.desktop /usr/share/metainfo/com.vexo.XqtUpgrade.metainfo.xml \
    /usr/share/mime/packages/com.vexo.XqtUpgrade.xml \
    "${ICONS[@]}" /usr/share/doc/xqt-upgrade/copyright /usr/share/doc/xqt-upgrade/changelog.Debian.gz
check "xqt-cli: contents" lists "$CLI" /usr/bin/xqt-cli /usr/share/man/man1/xqt-cli.1.gz \
    /usr/share/bash-completion/completions/xqt-cli /usr/share/doc/xqt-cli/copyright \
    /usr/share/doc/xqt-cli/changelog.Debian.gz
check "xqt-camsim: contents" lists "$CAMSIM" /usr/bin/xqt-camsim /usr/share/man/man1/xqt-camsim.1.gz \
    /usr/share/xqt-camsim/fleets/demo.json /usr/share/xqt-camsim/fleets/segment-a.json \
    /usr/share/xqt-camsim/fleets/segment-b.json /usr/share/xqt-camsim/fleets/segment-c.json \
    /usr/share/doc/xqt-camsim/copyright /usr/share/doc/xqt-camsim/changelog.Debian.gz
check "xqt-upgrade: depends on Qt" depends_on "$UPGRADE" libqt6widgets6
check "xqt-cli: depends on the C++ library" depends_on "$CLI" libstdc++6
check "xqt-camsim: depends on the C++ library" depends_on "$CAMSIM" libstdc++6
check "xqt-cli: recommends bash-completion" grep -qw bash-completion <<<"$(dpkg-deb -f "$CLI" Recommends)"

ROOTFS=$WORK/root
for deb in "$UPGRADE" "$CLI" "$CAMSIM"; do
    [ -n "$deb" ] && dpkg-deb -x "$deb" "$ROOTFS"
done
check "desktop-file-validate" desktop-file-validate "$ROOTFS/usr/share/applications/com.vexo.XqtUpgrade.desktop"
check "appstreamcli validate --no-net" appstreamcli validate --no-net \
    "$ROOTFS/usr/share/metainfo/com.vexo.XqtUpgrade.metainfo.xml"
check "lintian: no errors" no_lintian_errors "$UPGRADE" "$CLI" "$CAMSIM"
echo "      lintian: $(grep -c '^E:' "$WORK/lintian") errors, $(grep -c '^W:' "$WORK/lintian") warnings"
for program in xqt-upgrade xqt-cli xqt-camsim; do
    check "$program --version" version_names "$ROOTFS/usr/bin/$program"
done
for fleet in demo segment-a segment-b segment-c; do
    check "xqt-camsim reads the packaged fleet $fleet" "$ROOTFS/usr/bin/xqt-camsim" --print-fleet \
        --fleet "$ROOTFS/usr/share/xqt-camsim/fleets/$fleet.json"
done

collection_holds() {  # collection_holds ARCHIVE: the collection's manifest, module, role and merge script
    local archive=$1 path missing=0
    [ -n "$archive" ] || {
        echo "no vexo-xqt-*.tar.gz in $DIST"
        return 1
    }
    tar -tzf "$archive" >"$WORK/collection"
    for path in MANIFEST.json FILES.json plugins/modules/xqt_batch.py roles/xqt_fleet/tasks/main.yml \
        roles/xqt_fleet/files/merge_reports.py; do
        grep -qxF "$path" "$WORK/collection" || {
            echo "missing: $path"
            missing=1
        }
    done
    return $missing
}
check "Ansible collection archive" collection_holds "$(ls "$DIST"/vexo-xqt-*.tar.gz 2>/dev/null | head -n 1)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
