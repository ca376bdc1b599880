# Runs the Windows build of sspack under Wine: build an installer from the
# sample manifest with the real stub, verify it, check that it begins with
# the stub's bytes and has its package at the stub's size, and extract it;
# then as the Windows .zip lays it out, finding its parts beside itself.
# Paths are handed to the Windows program through Wine's Z: drive.
# Runs sspack in the folder run_in when that is set.
function(run expect_code)
  set(dir "${run_in}")
  if(NOT dir)
    set(dir .)
  endif()
  execute_process(COMMAND bash ${WINE_RUN} ${SSPACK} ${ARGN} WORKING_DIRECTORY ${dir}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL expect_code)
    message(FATAL_ERROR "sspack ${ARGN}: exit ${rc}, expected ${expect_code}\n${out}\n${err}")
  endif()
  set(last_out "${out}" PARENT_SCOPE)
  set(last_err "${err}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
set(setup ${OUT}/Setup.exe)

run(0 build Z:${MANIFEST} -o Z:${setup} --stub Z:${STUB} --impborl Z:${IMPBORL} -q)
run(0 verify Z:${setup})
run(0 list --entries Z:${setup})

file(SIZE ${STUB} stub_size)
file(READ ${STUB} stub_hex HEX)
file(READ ${setup} head_hex LIMIT ${stub_size} HEX)
if(NOT stub_hex STREQUAL head_hex)
  message(FATAL_ERROR "the installer does not begin with the stub's bytes")
endif()
if(NOT last_out MATCHES "Package offset: +${stub_size} ")
  message(FATAL_ERROR "the package is not at the stub's size ${stub_size}:\n${last_out}")
endif()
# The title sits 6 bytes into the package header.
math(EXPR title_at "${stub_size} + 6")
# "Sample Saver" and its terminating zero.
file(READ ${setup} title LIMIT 13 OFFSET ${title_at} HEX)
if(NOT title STREQUAL "53616d706c6520536176657200")
  message(FATAL_ERROR "no package header at ${stub_size}: title bytes ${title}")
endif()

# Building again over the existing output replaces it with the same bytes.
file(SHA256 ${setup} first_hash)
run(0 build Z:${MANIFEST} -o Z:${setup} --stub Z:${STUB} --impborl Z:${IMPBORL} -q)
file(SHA256 ${setup} second_hash)
if(NOT first_hash STREQUAL second_hash)
  message(FATAL_ERROR "a second build of the same manifest gave other bytes")
endif()

run(0 extract -q Z:${setup} Z:${OUT}/x)
get_filename_component(sample ${MANIFEST} DIRECTORY)
foreach(pair "segments/06-Sample Saver.scr|engine.scr" "segments/10-second.dll|second.dll"
             "data/readme.txt|media/readme.txt" "data/sub/notes.txt|media/sub/notes.txt")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 extracted)
  list(GET pair 1 source)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/x/${extracted} ${sample}/${source}
    RESULT_VARIABLE same)
  if(NOT same EQUAL 0)
    message(FATAL_ERROR "extracted ${extracted} differs from ${source}")
  endif()
endforeach()

# A stub whose size no longer matches its stamp is refused.
file(COPY_FILE ${STUB} ${OUT}/stale.exe)
file(APPEND ${OUT}/stale.exe "x")
run(1 build Z:${MANIFEST} -o Z:${OUT}/Bad.exe --stub Z:${OUT}/stale.exe --impborl Z:${IMPBORL} -q)
if(EXISTS ${OUT}/Bad.exe)
  message(FATAL_ERROR "a refused build left an output file")
endif()

# Paths outside ASCII: the wide command line reaches the file system intact.
set(accented "${OUT}/Café")
file(COPY ${sample}/ DESTINATION ${accented})
run(0 build "Z:${accented}/saver.json" -o "Z:${accented}/Séance.exe" --stub Z:${STUB}
    --impborl Z:${IMPBORL} -q)
if(NOT EXISTS "${accented}/Séance.exe")
  message(FATAL_ERROR "no installer written under an accented name")
endif()

# The Windows .zip's layout: sspack.exe beside ssinstall.exe and impborl.dll
# finds both by its own path, names them in --version and builds without
# --stub or --impborl the installer built above with them.
set(zip ${OUT}/zip)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${WIN_BUILD} --prefix ${zip} --component windows
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0 OR NOT EXISTS ${zip}/sspack.exe)
  message(FATAL_ERROR "the .zip's component did not install into ${zip}")
endif()
set(SSPACK ${zip}/sspack.exe)
run(0 --version)
if(NOT last_out MATCHES "stub:    Z:[^\n]*zip\\\\ssinstall\\.exe" OR
   NOT last_out MATCHES "library: Z:[^\n]*zip\\\\impborl\\.dll")
  message(FATAL_ERROR "sspack.exe --version does not name the parts beside it:\n${last_out}")
endif()
file(MAKE_DIRECTORY ${OUT}/found)
run(0 build Z:${MANIFEST} -o Z:${OUT}/found/Setup.exe -q)
file(SHA256 ${OUT}/found/Setup.exe found_hash)
if(NOT found_hash STREQUAL first_hash)
  message(FATAL_ERROR "the parts sspack.exe found build another installer than the ones it was given")
endif()

# Signing runs osslsigncode.exe, which this Wine prefix lacks: a refusal that
# names it, and no file. It is looked for beside sspack.exe, then in PATH's
# absolute folders; never in the current folder, nor through PATH's empty or
# relative entries, where a copy planted by someone else would be handed the
# certificate and its password. A recorder stands in for it: it notes its
# command line in recorded.txt beside itself and fails.
set(cwd ${OUT}/cwd)
file(MAKE_DIRECTORY ${cwd}/rel ${OUT}/empty ${OUT}/tools)
file(COPY_FILE ${RECORDER} ${cwd}/osslsigncode.exe)
file(COPY_FILE ${RECORDER} ${cwd}/rel/osslsigncode.exe)
set(run_in ${cwd})
set(ENV{WINEPATH} ".;rel;;Z:${OUT}/empty;")
set(signed_exe ${OUT}/Signed.exe)
run(1 build Z:${MANIFEST} -o Z:${signed_exe} -q --sign Z:${OUT}/none.pfx)
if(NOT last_err MATCHES "signing Z:[^\n]*Signed\\.exe: signing needs osslsigncode\\.exe \\(the Windows build of the package \"osslsigncode\"\\)"
   OR EXISTS ${signed_exe})
  message(FATAL_ERROR "a signing without osslsigncode.exe was not refused cleanly:\n${last_err}")
endif()
if(EXISTS ${cwd}/recorded.txt OR EXISTS ${cwd}/rel/recorded.txt)
  message(FATAL_ERROR "sspack.exe ran an osslsigncode.exe from the current folder")
endif()
# One in a folder on PATH is run, on the unsigned installer in the build's
# work folder beside the output, which is gone afterwards.
file(COPY_FILE ${RECORDER} ${OUT}/tools/osslsigncode.exe)
set(ENV{WINEPATH} ".;rel;;Z:${OUT}/empty;Z:${OUT}/tools")
run(1 build Z:${MANIFEST} -o Z:${signed_exe} -q --sign Z:${OUT}/none.pfx)
if(NOT EXISTS ${OUT}/tools/recorded.txt OR NOT last_err MATCHES "osslsigncode could not sign \\(exit code 1\\)")
  message(FATAL_ERROR "the osslsigncode.exe on PATH was not run:\n${last_err}")
endif()
file(READ ${OUT}/tools/recorded.txt recorded)
file(GLOB left ${OUT}/sspack-work-*)
if(NOT recorded MATCHES "-in [^\n]*\\\\sspack-work-[0-9a-f]+\\\\unsigned\\.exe\"? -out " OR left OR EXISTS ${signed_exe})
  message(FATAL_ERROR "signing did not work in a folder of its own: ${recorded}; left: ${left}")
endif()
# One beside sspack.exe comes first.
file(COPY_FILE ${RECORDER} ${zip}/osslsigncode.exe)
file(REMOVE ${OUT}/tools/recorded.txt)
run(1 build Z:${MANIFEST} -o Z:${signed_exe} -q --sign Z:${OUT}/none.pfx)
if(NOT EXISTS ${zip}/recorded.txt OR EXISTS ${OUT}/tools/recorded.txt OR EXISTS ${cwd}/recorded.txt)
  message(FATAL_ERROR "the osslsigncode.exe beside sspack.exe was not the one run:\n${last_err}")
endif()
