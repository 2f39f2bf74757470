# cmake/DialogLayout.cmake on small layouts: every character of a text reaches
# both forms escaped as each language needs, the version fills the caption,
# and a faulty line stops the build naming its line.
#   cmake -DSCRIPT=DialogLayout.cmake -DWORK=DIR -P dialog-layout.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(generate layout result)
  file(WRITE "${WORK}/test.layout" "${layout}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DLAYOUT=${WORK}/test.layout -DRC_OUT=${WORK}/test.rc
                          -DCXX_OUT=${WORK}/test.h -DPROJECT_VERSION_MAJOR=7 -DPROJECT_VERSION_MINOR=3
                          -P ${SCRIPT}
                  RESULT_VARIABLE status ERROR_VARIABLE errors)
  set(${result} "${status}" PARENT_SCOPE)
  set(errors "${errors}" PARENT_SCOPE)
endfunction()

function(expect_in file text)
  file(READ "${WORK}/${file}" content)
  string(FIND "${content}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${file} lacks: ${text}\n${content}")
  endif()
endfunction()

generate([=[
# a comment
dialog Test IDD_TEST 100 50
caption "Test v.@PROJECT_VERSION_MAJOR@.@PROJECT_VERSION_MINOR@"
font 9 "Face"
style DS_SETFONT WS_POPUP
control IDC_A Text 1 2 3 4 disabled group "a;b [c] d\e ""q"" ü"
control IDC_B ProgressBar 5 6 7 8 hidden
control IDC_C Picture 9 10 11 12 IDB_C
]=] status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "a good layout was refused: ${errors}")
endif()
expect_in(test.rc [=[CAPTION "Test v.7.3"]=])
expect_in(test.rc [=[STYLE DS_SETFONT | WS_POPUP]=])
expect_in(test.rc [=[FONT 9, "Face", 400, 0, 0x1]=])
expect_in(test.rc [=[CONTROL "a;b [c] d\\e ""q"" ü", IDC_A, "Static", SS_LEFT | WS_GROUP | WS_DISABLED, 1, 2, 3, 4]=])
expect_in(test.rc [=[CONTROL "", IDC_B, "msctls_progress32", NOT WS_VISIBLE, 5, 6, 7, 8]=])
expect_in(test.rc [=[CONTROL IDB_C, IDC_C, "Static", SS_BITMAP, 9, 10, 11, 12]=])
expect_in(test.h [=[ControlTemplate{IDC_A, ControlKind::Text, "a;b [c] d\\e \"q\" ü", false, true, 1, 2, 3, 4, 0, false, true}]=])
expect_in(test.h [=[ControlTemplate{IDC_B, ControlKind::ProgressBar, "", true, false, 5, 6, 7, 8, 0, false, false}]=])
expect_in(test.h [=[ControlTemplate{IDC_C, ControlKind::Picture, "", true, true, 9, 10, 11, 12, IDB_C, false, false}]=])
expect_in(test.h [=[DialogTemplate kTest{IDD_TEST, "Test v.7.3", 100, 50, "Face", 9, kTestControls}]=])

foreach(bad IN ITEMS "control IDC_A Txt 1 2 3 4" "control IDC_A Text 1 2 3 x" "control IDC_A Text 1 2 3 4 bold"
                     "control IDC_A Text 1 2 3 4 \"a\"b\"" "control IDC_A Picture 1 2 3 4 \"text\"")
  generate("dialog Test IDD_TEST 100 50\ncaption \"T\"\nfont 9 \"F\"\nstyle WS_POPUP\n${bad}\n" status)
  if(status EQUAL 0 OR NOT errors MATCHES "test.layout:5: ")
    message(FATAL_ERROR "'${bad}' was taken, or its line not named: ${errors}")
  endif()
endforeach()
message(STATUS "both forms of a layout hold what it says")
