# The local trial FTP server, for scripts to source: vsftpd on 127.0.0.1 port 21
# with the built-in account, chrooted to a root of its own, logging the protocol.
#
#   trial_ftp_start WORK [BYTES_PER_SECOND]
#       Starts the server with its files in WORK (root WORK/root, protocol log
#       WORK/ftp.log); BYTES_PER_SECOND limits each transfer. Sets
#       TRIAL_FTP_PID. Returns non-zero, with the reason on stderr, when port 21
#       is taken or the server does not come up.
#   trial_ftp_stop
#       Stops the server started last (safe to call when none runs).
#   trial_ftp_commands WORK
#       The commands the server heard so far, one a line, passwords left out.

trial_ftp_sudo=""
[ "$(id -u)" -eq 0 ] || trial_ftp_sudo="sudo"
TRIAL_FTP_PID=""

trial_ftp_listening() {
  (exec 3<>/dev/tcp/127.0.0.1/21) 2>/dev/null
}

trial_ftp_start() {
  local work="$1" rate="${2:-0}" sudo="$trial_ftp_sudo"
  if trial_ftp_listening; then
    echo "trial FTP server: something already listens on 127.0.0.1 port 21; stop it first" >&2
    return 1
  fi
  # The built-in account, as the server's users know it.
  if ! getent passwd brixmaps >/dev/null; then
    $sudo useradd -M -s /bin/sh brixmaps || return 1
  fi
  echo "brixmaps:wol347" | $sudo chpasswd || return 1
  $sudo mkdir -p "$(getent passwd brixmaps | cut -d: -f6)"
  # The server's user must reach its root inside.
  chmod 755 "$work"
  mkdir -p "$work/root" "$work/empty"
  $sudo chown brixmaps "$work/root"
  cat >"$work/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=21
background=NO
anonymous_enable=NO
local_enable=YES
write_enable=YES
local_umask=022
local_root=$work/root
chroot_local_user=YES
allow_writeable_chroot=YES
pasv_enable=YES
port_enable=YES
connect_from_port_20=NO
pam_service_name=vsftpd
secure_chroot_dir=$work/empty
seccomp_sandbox=NO
ssl_enable=NO
userlist_enable=NO
delay_failed_login=0
xferlog_enable=YES
xferlog_std_format=NO
log_ftp_protocol=YES
vsftpd_log_file=$work/ftp.log
local_max_rate=$rate
CONF
  $sudo /usr/sbin/vsftpd "$work/vsftpd.conf" >"$work/vsftpd.out" 2>&1 &
  TRIAL_FTP_PID=$!
  local _
  for _ in $(seq 100); do
    trial_ftp_listening && return 0
    if ! kill -0 "$TRIAL_FTP_PID" 2>/dev/null; then
      echo "trial FTP server: vsftpd did not start:" >&2
      cat "$work/vsftpd.out" >&2
      TRIAL_FTP_PID=""
      return 1
    fi
    sleep 0.1
  done
  echo "trial FTP server: vsftpd does not listen on 127.0.0.1 port 21 after 10 s" >&2
  trial_ftp_stop
  return 1
}

trial_ftp_stop() {
  if [ -n "$TRIAL_FTP_PID" ]; then
    $trial_ftp_sudo kill "$TRIAL_FTP_PID" 2>/dev/null || true
    wait "$TRIAL_FTP_PID" 2>/dev/null || true
    TRIAL_FTP_PID=""
  fi
}

trial_ftp_commands() {
  $trial_ftp_sudo sed -n 's/.*FTP command: Client "[^"]*", "\(.*\)"$/\1/p' "$1/ftp.log" | grep -v '^PASS'
}
