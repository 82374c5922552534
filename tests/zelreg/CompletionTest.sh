#!/usr/bin/env bash
# The bash completion of zelreg: sourced as bash-completion sources it, it completes verbs,
# each verb's switches, types after /t, roots where a key goes and files where a file goes.
# Usage: CompletionTest.sh COMPLETION-FILE SCRATCH-DIRECTORY
set -u
source "$1"
mkdir -p "$2" && cd "$2" && rm -rf ./* && touch ledger.reg ledger.txt
failures=0

registered=$(complete -p zelreg)
if [[ $registered != "complete -F _zelreg zelreg" ]]; then
    echo "zelreg is not completed by _zelreg: $registered"
    failures=$((failures + 1))
fi

# expect "WANTED REPLIES" WORD...: completes the last word of the command line WORD...
expect() {
    local wanted=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _zelreg zelreg "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    if [[ "${COMPREPLY[*]}" != "$wanted" ]]; then
        echo "zelreg ${*:2}<TAB>: wanted [$wanted], got [${COMPREPLY[*]}]"
        failures=$((failures + 1))
    fi
}

expect "query add delete compare watch export import copy save restore backup check where demo /?" zelreg ""
expect "/s /?" zelreg watch 'HKCU\Software' /
expect "HKEY_CURRENT_USER" zelreg watch /s hkey_c
expect "compare copy" zelreg co
expect "delete demo" zelreg de
expect "/v /ve /s /f /k /d /c /e /t /z /se /reg:32 /reg:64 /?" zelreg query 'HKCU\Software' /
expect "/oa /od /os /on" zelreg compare a b /o
expect "/oa /od /os /on" zelreg COMPARE a b /O
expect "/va" zelreg delete 'HKCU\x' /va
expect "/y" zelreg export 'HKCU\x' f.reg /y
expect "REG_DWORD REG_DWORD_LITTLE_ENDIAN REG_DWORD_BIG_ENDIAN" zelreg add 'HKCU\x' /v n /t REG_DW
expect "REG_SZ,REG_QWORD" zelreg query 'HKCU\x' /T REG_SZ,REG_Q
expect "" zelreg add 'HKCU\x' /v ""
expect "" zelreg add 'HKCU\x' /s ""
expect "/s /se" zelreg query 'HKCU\x' /v /s
expect "HKCU" zelreg query hkc
expect "HKEY_CURRENT_USER HKEY_LOCAL_MACHINE" zelreg delete hkey
expect "HKCU HKLM HKEY_CURRENT_USER HKEY_LOCAL_MACHINE" zelreg compare 'HKCU\a' /s H
expect "HKCU HKLM HKEY_CURRENT_USER HKEY_LOCAL_MACHINE" zelreg add ""
expect "ledger.reg ledger.txt" zelreg export 'HKCU\x' led
expect "ledger.reg ledger.txt" zelreg import /reg:64 led
expect "" zelreg import ledger.reg ""
expect "" zelreg export 'HKCU\x' /y out.reg ""
expect "/s /f /reg:32 /reg:64 /?" zelreg copy 'HKCU\a' 'HKCU\b' /
expect "HKCU HKLM HKEY_CURRENT_USER HKEY_LOCAL_MACHINE" zelreg copy 'HKCU\a' /s ""
expect "ledger.reg ledger.txt" zelreg save 'HKCU\x' led
expect "ledger.reg ledger.txt" zelreg restore /reg:32 'HKCU\x' led
expect "HKLM" zelreg check hkl
expect "/machine" zelreg backup /m
expect "HKCU HKLM ledger.reg ledger.txt" zelreg backup ""
expect "ledger.reg ledger.txt" zelreg backup HKLM l
expect "" zelreg where ""
exit $((failures > 0))
