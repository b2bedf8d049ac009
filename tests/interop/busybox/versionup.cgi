# The camera's firmware interface as a shell CGI behind BusyBox httpd: takes the multipart image,
# answers with the progress stream while it "writes its flash", and then asks for its reboot.
state=$(dirname "$SCRIPT_FILENAME")/../../state
. "$state/camera.env"
[ -n "$FIRST_BYTE_DELAY" ] && sleep "$FIRST_BYTE_DELAY"
if ! /usr/bin/python3 "$HELPER" image "$state" "$CONTENT_TYPE"; then
    [ -n "$STATUS_LINE" ] && echo "HTTP/1.1 400 Bad Request"
    echo "Content-Type: text/plain"
    echo
    echo "not a firmware upload"
    exit 0
fi
[ -n "$STATUS_LINE" ] && echo "$STATUS_LINE"
echo "Content-Type: multipart/x-mixed-replace; boundary=vexoboundary"
echo
part() { printf '%s\r\nContent-Type: text/plain\r\n\r\n%s\r\n' '--vexoboundary' "$1"; }
part "(0) Steps: $STEPS"
i=1
while [ "$i" -le "$STEPS" ]; do
    sleep "$STEP_PAUSE"
    part "($i) Writing flash memory"
    i=$((i + 1))
done
printf '%s\r\n' '--vexoboundary--'
: >"$state/reboot"
