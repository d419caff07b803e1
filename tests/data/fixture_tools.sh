# What the fixture scripts share; sourced by them (bash). Sets, for the sourcing script:
#   work       a temporary folder, removed when the script ends
#   profile    a LibreOffice user profile of its own in it (a running LibreOffice is left alone)
#   convert    source filter target [locale]: LibreOffice headless converts source with the filter
#              ("ods", "xls:MS Excel 97", ...) into target, in the locale given (en_US.UTF-8)
#   npm_xlsx   installs the npm package xlsx (SheetJS) into $work/npm once; prints its NODE_PATH
# and runs in the fixtures' folder.
cd "$(dirname "${BASH_SOURCE[1]}")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
profile="-env:UserInstallation=file://$work/profile"

convert() { # source, filter, target [locale]
    LC_ALL=${4:-en_US.UTF-8} soffice "$profile" --headless --convert-to "$2" --outdir "$work/out" "$1" >/dev/null
    mv "$work/out/$(basename "${1%.*}").${2%%:*}" "$3"
}

npm_xlsx() {
    if [ ! -d "$work/npm/node_modules/xlsx" ]; then
        mkdir -p "$work/npm"
        (cd "$work/npm" && npm init -y >/dev/null && npm install --silent xlsx@0.18.5 >/dev/null)
    fi
    echo "$work/npm/node_modules"
}
