# Sourced after wine-vars.sh: the SMB share of one build folder
# (scripts/smb-env.sh). The port is derived from the build folder, so
# parallel build folders run their own servers side by side.
: "${NX_SMB_DIR:=$NX_BUILD/smb}"
: "${NX_SMB_PORT:=$((20000 + $(printf '%s' "$NX_BUILD" | cksum | cut -d' ' -f1) % 20000))}"
: "${NX_SMB_SHARE:=nxshare}"
: "${NX_SMB_USER:=root}"
: "${NX_SMB_PASSWORD:=nx-smb-pw}"
# The client's reply time-out: how long a call on a hung server may block.
: "${NX_SMB_TIMEOUT_MS:=5000}"
# smbnetfs ignores "smb ports"; the port goes into the path instead.
: "${NX_SMB_MOUNT:=$NX_SMB_DIR/mnt/127.0.0.1:$NX_SMB_PORT/$NX_SMB_SHARE}"
# The Wine drive on the mounted share; Y: and X: stay the tests' folders.
: "${NX_SMB_DRIVE:=S:}"
export NX_SMB_DIR NX_SMB_PORT NX_SMB_SHARE NX_SMB_USER NX_SMB_PASSWORD NX_SMB_TIMEOUT_MS NX_SMB_MOUNT NX_SMB_DRIVE
