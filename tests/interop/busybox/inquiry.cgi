# The camera's inquiry interface as a shell CGI behind BusyBox httpd: header lines by echo (a bare LF
# each), the answer ended by the close and by a line end after its last field.
state=$(dirname "$SCRIPT_FILENAME")/../../state
. "$state/camera.env"
body=$(head -c "${CONTENT_LENGTH:-0}")
version=$(cat "$state/version")
[ -n "$FIRST_BYTE_DELAY" ] && sleep "$FIRST_BYTE_DELAY"
[ -n "$STATUS_LINE" ] && echo "$STATUS_LINE"
echo "Content-Type: text/plain"
echo
case "$body" in
inq=system) printf 'ModelName=%s&SoftVersion=%s&DocType=%s&PanTiltFunc=0&Serial=%s\r\n' \
    "$MODEL" "$version" "$DOCTYPE" "$SERIAL" ;;
inq=user) printf 'Administrator=%s&User1=guest&UserCount=1\r\n' "$ADMINISTRATOR" ;;
inq=network) printf 'MacAddress=%s&IpAddress=%s&HttpPort=%s&Dhcp=off\r\n' "$MAC" "$ADDRESS" "$PORT" ;;
*) printf 'Error=unknown inquiry\r\n' ;;
esac
