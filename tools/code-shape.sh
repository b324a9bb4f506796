#!/usr/bin/env bash
# How the code is shaped, in figures: the shapes a failure takes, the forms
# of seams, the copies of each cross-process contract, the largest
# functions and classes, and (with --tests BUILD) how many test cases run
# without root. Reads the sources as text; prints, asserts nothing.
#   bash tools/code-shape.sh [--tests BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
sources=(src substitutes)

count() { # PATTERN: matching lines in the sources (C++ only)
  grep -rEn --include='*.cpp' --include='*.h' -- "$1" "${sources[@]}" | wc -l
}

echo "== Shapes of a failure reported to a caller"
printf '%6s  %s\n' "$(count 'Expected<')" "shared::Expected<T> (the one result type)"
printf '%6s  %s\n' "$(count '(QString|std::string) \*(problem|failure|reason|error)\b')" "text out-parameters (QString*/std::string* problem, failure, ...)"
printf '%6s  %s\n' "$(count 'std::string &error\)|std::string &error,')" "std::string& error out-parameters"
printf '%6s  %s\n' "$(count 'int \*error|, int \*[a-z]+\)')" "errno through an int* out-parameter"
printf '%6s  %s\n' "$(count 'struct Refusal')" "Refusal types"
printf '%6s  %s\n' "$(count 'std::variant<[^>]*(Refusal|Reply)')" "std::variant<T, Refusal/Reply> returns"
printf '%6s  %s\n' "$(count 'optional<std::optional')" "optional<optional<...>>"
printf '%6s  %s\n' "$(count '^(static )?std::optional<std::string> [A-Za-z:]+\(')" "optional<std::string> where empty means success (definitions)"
printf '%6s  %s\n' "$(count '\bthrow\b')" "throw statements"

echo
echo "== Seam forms"
printf '%6s  %s\n' "$(count 'static [A-Za-z:]+ &instance\(\)')" "replaceable process-wide instances (instance())"
printf '%6s  %s\n' "$(count 'static void set[A-Za-z]*(Handler|Hook)\(')" "static handler hooks"
printf '%6s  %s\n' "$(count 'static void setPath\(')" "static path overrides"
printf '%6s  %s\n' "$(grep -rEn --include='*.cpp' --include='*.h' 'std::getenv\(|qgetenv\(|qEnvironmentVariable' "${sources[@]}" | grep -vc '^src/shared/EnvironmentSetting' || true)" "environment reads outside EnvironmentSetting (lines)"
printf '%6s  %s\n' "$(grep -rlE --include='*.h' 'class [A-Za-z]*Clock\b[^;]*$' src substitutes tests | wc -l)" "clock classes (interfaces and fakes)"

echo
echo "== Copies of each contract (string literals in the sources)"
for literal in '"command_to_be_execute"' '"installerlog_file_path"' '"Installation_Done' \
               '"/var/run/com.kyr.HelperTool.xpc"' '"/Library/Preferences/CorvaneTavorenAdmin.plist"' \
               '"/var/db/receipts/com.Corvane.TavorenInstaller.plist"' '"/var/tmp/kyr"' '":: ::"'; do
  printf '%6s  %s\n' "$(grep -rhF --include='*.cpp' --include='*.h' -- "$literal" "${sources[@]}" | grep -cvE '^\s*//' || true)" "$literal"
done

echo
echo "== Copies of each shared piece"
printf '%6s  %s\n' "$(grep -rlE --include='*.h' 'class [A-Za-z]*FocusMark\b' src | wc -l)" "focus-mark classes"
printf '%6s  %s\n' "$(grep -rlE --include='*.h' 'class [A-Za-z]*SystemLog\b.*: public shared::SystemLog' tests | wc -l)" "system logs for tests"
printf '%6s  %s\n' "$(grep -rlE --include='*.cpp' 'S_ISREG.*st_nlink|st_nlink != 1' src | wc -l)" "checks of a plain file in a shared folder (FolderFile)"
printf '%6s  %s\n' "$(count 'plist_free\(node\(m_root')" "hand-written owners of a libplist tree"
printf '%6s  %s\n' "$(count "rfind\('/'\)")" "splits at the last slash (PathName; one extension strip)"
printf '%6s  %s\n' "$(count '(^|[^A-Za-z_])::close\(')" "raw closes (Descriptor's own)"

echo
echo "== Largest functions (lines from the opening to the closing brace at column 0)"
find "${sources[@]}" -name '*.cpp' -print0 | xargs -0 awk '
  FNR == 1 { start = 0 }
  /^[A-Za-z].*[)]( const)?( noexcept)?( override)?$/ { candidate = $0; candidateLine = FNR }
  /^\{$/ && candidateLine == FNR - 1 { start = FNR; name = candidate }
  /^\}$/ && start { printf "%6d  %s: %s\n", FNR - start + 1, FILENAME, name; start = 0 }
' | sort -rn | sed -n 1,5p

echo
echo "== Largest classes (lines of the file pair named after the class)"
find "${sources[@]}" -name '*.cpp' | while read -r cpp; do
  header=${cpp%.cpp}.h
  [ -f "$header" ] || header=/dev/null
  lines=$(cat "$cpp" "$header" | wc -l)
  printf '%6d  %s\n' "$lines" "${cpp%.cpp}"
done | sort -rn | sed -n 1,5p

if [ "${1:-}" = --tests ] && [ -n "${2:-}" ]; then
  build=$2
  echo
  echo "== Test cases run without root (as nobody) against all test cases"
  [ "$(id -u)" -eq 0 ] || { echo "run as root to compare"; exit 0; }
  all=0 unprivileged=0
  while IFS= read -r -d '' test; do
    results=$(QT_QPA_PLATFORM=offscreen "$test" 2>/dev/null | grep -cE '^(PASS|FAIL!|XFAIL|XPASS) ' || true)
    as_nobody=$(runuser -u nobody -- env QT_QPA_PLATFORM=offscreen "$test" 2>/dev/null | grep -cE '^(PASS|FAIL!|XFAIL|XPASS) ' || true)
    all=$((all + results))
    unprivileged=$((unprivileged + as_nobody))
  done < <(find "$build/tests" -type f -name 'tst_*' -perm -u+x -print0)
  printf '%6s of %s test cases (%s%%)\n' "$unprivileged" "$all" "$(( all ? unprivileged * 100 / all : 0 ))"
fi
