# The camera's configuration restore as a shell CGI behind BusyBox httpd (which checks the
# credential itself): keeps the posted file and answers with a short page.
state=$(dirname "$SCRIPT_FILENAME")/../../state
. "$state/camera.env"
[ -n "$FIRST_BYTE_DELAY" ] && sleep "$FIRST_BYTE_DELAY"
if ! /usr/bin/python3 "$HELPER" restore "$state" "$CONTENT_TYPE"; then
    [ -n "$STATUS_LINE" ] && echo "HTTP/1.1 400 Bad Request"
    echo "Content-Type: text/plain"
    echo
    echo "not a configuration"
    exit 0
fi
[ -n "$STATUS_LINE" ] && echo "$STATUS_LINE"
echo "Content-Type: text/html"
echo
echo "<HTML><BODY>Restored.</BODY></HTML>"
