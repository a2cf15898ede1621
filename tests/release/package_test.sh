#!/bin/sh
# Unpacks the release zip into a fresh folder and runs its programs from there
# under Wine: AddInReg.exe says the version in its resources and has the icon,
# the companion prints the version, the main window opens and closes, and the
# example template is the built-in one. Skipped (77) when no zip was made.
#   package_test.sh ZIP VERSION WINE_RUN RELEASE_CHECK FOLDER PROGRAM...
set -eu
zip=$1 version=$2 run=$3 check=$4 folder=$5
shift 5
if [ ! -f "$zip" ]; then
    echo "No $zip: scripts/package makes it."
    exit 77
fi

rm -rf "$folder"
mkdir -p "$folder"
cd "$folder"
cmake -E tar xf "$zip"
for file in "$@" README.txt LICENSE CHANGES AddInTemplate.Reg; do
    [ -s "$file" ] || { echo "The zip has no $file"; exit 1; }
done

"$run" "$check" template AddInTemplate.Reg
"$run" "$check" resources AddInReg.exe "$version"

if [ -f AddInRegCli.exe ]; then
    said=$("$run" AddInRegCli.exe --version | tr -d '\r')
    echo "AddInRegCli.exe --version: $said"
    case " $said " in
        *" $version "*) ;;
        *) echo "AddInRegCli.exe --version does not print $version"; exit 1 ;;
    esac
fi

"$run" AddInReg.exe &
program=$!
"$run" "$check" window "Registry Functions Demo" 120 || { kill "$program" 2>/dev/null; exit 1; }
wait "$program"
echo "Release $version checked in $folder"
