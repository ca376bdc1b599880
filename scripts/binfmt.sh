# Sourced: how this machine runs 32-bit x86 (i386) programs, through the
# kernel's binfmt_misc table. A kernel without 32-bit support runs them only
# through an interpreter registered there (qemu-i386); such an entry also
# takes precedence over the kernel's own loader where 32-bit support exists.

ss_binfmt_dir=/proc/sys/fs/binfmt_misc
# The name this project registers qemu-i386 under, so that it removes only
# its own entry.
ss_binfmt_name=ss-qemu-i386
# i386 ELF executables and shared objects: 32-bit class, little-endian,
# version 1, type 2 or 3 (the mask lets both through), machine 3.
ss_i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
ss_i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# Prints "NAME INTERPRETER" of the first enabled binfmt_misc entry that takes
# i386 ELF files; fails when there is none (or binfmt_misc is not mounted or
# is switched off as a whole).
ss_i386_binfmt_entry() {
  local entry magic
  [ "$(cat "$ss_binfmt_dir/status" 2>/dev/null)" = enabled ] || return 1
  for entry in "$ss_binfmt_dir"/*; do
    case ${entry##*/} in register | status) continue ;; esac
    [ -r "$entry" ] || continue
    grep -qx enabled "$entry" || continue
    grep -qx 'offset 0' "$entry" || continue
    magic=$(sed -n 's/^magic //p' "$entry")
    # 7f 'E' 'L' 'F', class 1 (32-bit), data 1 (little-endian); the machine
    # field (bytes 18-19) is 3, i386.
    case $magic in 7f454c460101*) ;; *) continue ;; esac
    [ "${magic:36:4}" = 0300 ] || continue
    echo "${entry##*/} $(sed -n 's/^interpreter //p' "$entry")"
    return 0
  done
  return 1
}
