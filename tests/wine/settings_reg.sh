# shellcheck shell=bash
# The settings the end-to-end scripts start from, as a REGEDIT4 file for regedit:
# every day at HM, shut down, the countdown WELCOME s, a 1-minute warning, the log on.
#   settings_reg FILE HM WELCOME
settings_reg() {
    cat >"$1" <<EOF
REGEDIT4

[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vespra]

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vespra]
"version"="4.0"
"status"=dword:00000001
"restart"=dword:00000000
"days"="1 1 1 1 1 1 1"
"times"="$2 $2 $2 $2 $2 $2 $2"
"welcome"=dword:00000001
"welcometime"=dword:$(printf %08x "$3")
"showwarning"=dword:00000001
"warningminutes"=dword:00000001
"limit"=dword:00000000
"logfile"=dword:00000001
EOF
}
