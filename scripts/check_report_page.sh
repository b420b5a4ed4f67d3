#!/usr/bin/env bash
# Opens a report folder's index.html in headless Chromium and fails (status 1) when an image
# of the page does not load or the browser logs any console message for it (the page has no
# scripts, so every message is the browser's complaint). With a second argument, it also
# writes a screenshot of the page's top (1400 x 2400 pixels) there.
# Usage: scripts/check_report_page.sh <report folder> [screenshot.png]
# Needs Debian's chromium (apt-get install chromium): a reviewer's check, not a dependency
# of the build, the package or the test suite.
set -euo pipefail
if [ $# -lt 1 ] || [ ! -f "$1/index.html" ]; then
  echo "usage: $0 <report folder with index.html> [screenshot.png]" >&2
  exit 2
fi
command -v chromium >/dev/null || { echo "chromium is not installed (apt-get install chromium)" >&2; exit 2; }
folder="$(cd "$1" && pwd)"
page="file://$(python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1]))' "$folder/index.html")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

browse() {  # a fresh profile each time; Chromium's own chatter goes to $work/log
  rm -rf "$work/profile"
  timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile" --enable-logging=stderr --v=0 "$@" 2>>"$work/log"
}

# The page in a frame of a checking page, which lists every image that did not load.
cat > "$work/check.html" <<HTML
<!DOCTYPE html><html><body>
<iframe id="page" src="$page" style="width:1400px;height:1000px"></iframe>
<pre id="result">not run</pre>
<script>
window.addEventListener("load", function () {
  var page = document.getElementById("page").contentDocument;
  var lines = [];
  if (!page) {
    lines.push("UNREADABLE");
  } else {
    lines.push("IMAGES " + page.images.length);
    for (var i = 0; i < page.images.length; i++) {
      var image = page.images[i];
      if (!image.complete || image.naturalWidth === 0) lines.push("MISSING " + image.getAttribute("src"));
    }
  }
  document.getElementById("result").textContent = lines.join("\n");
});
</script>
</body></html>
HTML
browse --allow-file-access-from-files --virtual-time-budget=20000 --dump-dom "file://$work/check.html" >"$work/dom"

result="$(sed -n '/<pre id="result">/,/<\/pre>/p' "$work/dom" | sed 's/<[^>]*>//g')"
failed=0
if ! grep -q '^IMAGES [1-9]' <<<"$result"; then
  echo "the page did not render, or shows no image: ${result:-no result}"
  failed=1
fi
if grep '^MISSING ' <<<"$result"; then failed=1; fi
if grep ':CONSOLE' "$work/log"; then failed=1; fi

if [ $# -ge 2 ]; then
  browse --hide-scrollbars --window-size=1400,2400 --screenshot="$(realpath -m "$2")" "$page" >/dev/null
fi
if [ "$failed" -ne 0 ]; then
  echo "report page check failed: $folder/index.html"
  exit 1
fi
echo "report page check passed: $(sed -n 's/^IMAGES //p' <<<"$result") images loaded, no console message"
