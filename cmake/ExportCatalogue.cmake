# The exports, as the catalogue (tests/support/ExportCatalogue.h) lists them: its rows are read
# here, so that both builds' export lists and the export table checks come from the one table.
#   PALLWICK_EXPORT_CATALOGUE  the header
#   PALLWICK_EXPORTS           the exported symbols, in the catalogue's order
#   PALLWICK_EXPORT_NATIVES    a file of one line "symbol Class method signature" per export
set(PALLWICK_EXPORT_CATALOGUE ${CMAKE_SOURCE_DIR}/tests/support/ExportCatalogue.h)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PALLWICK_EXPORT_CATALOGUE})

file(READ ${PALLWICK_EXPORT_CATALOGUE} catalogue_text)
string(FIND "${catalogue_text}" "#define PALLWICK_EXPORT_CATALOGUE(X)" catalogue_start)
string(FIND "${catalogue_text}" "// clang-format on" catalogue_end)
if(catalogue_start LESS 0 OR catalogue_end LESS catalogue_start)
    message(FATAL_ERROR "${PALLWICK_EXPORT_CATALOGUE}: no PALLWICK_EXPORT_CATALOGUE table")
endif()
math(EXPR catalogue_length "${catalogue_end} - ${catalogue_start}")
string(SUBSTRING "${catalogue_text}" ${catalogue_start} ${catalogue_length} catalogue_text)
string(REPLACE "\\\n" " " catalogue_text "${catalogue_text}")
# A signature's semicolons would split CMake's lists, and its brackets keep them together.
string(REPLACE ";" "<semicolon>" catalogue_text "${catalogue_text}")
string(REPLACE "[" "<bracket>" catalogue_text "${catalogue_text}")

# X(Id, Class, method, symbol, "signature", ...): the first five fields of each row.
set(catalogue_row
    "X\\(([A-Za-z]+),[ ]+([A-Za-z]+),[ ]+([A-Za-z]+),[ ]+([A-Za-z0-9_]+),[ ]+\"([^\"]*)\"")
string(REGEX MATCHALL "${catalogue_row}" catalogue_rows "${catalogue_text}")
string(REGEX MATCHALL " X\\(" catalogue_calls "${catalogue_text}")
list(LENGTH catalogue_rows catalogue_row_count)
list(LENGTH catalogue_calls catalogue_call_count)
if(NOT catalogue_row_count EQUAL catalogue_call_count)
    message(FATAL_ERROR "${PALLWICK_EXPORT_CATALOGUE}: ${catalogue_call_count} rows, of which "
                        "${catalogue_row_count} read as X(Id, Class, method, symbol, \"signature\"")
endif()

set(PALLWICK_EXPORTS)
set(natives "")
foreach(row IN LISTS catalogue_rows)
    string(REGEX MATCH "${catalogue_row}" row "${row}")
    set(symbol "Java_com_quorvane_inventory_inventoryagent_${CMAKE_MATCH_2}_${CMAKE_MATCH_4}")
    list(APPEND PALLWICK_EXPORTS ${symbol})
    string(APPEND natives "${symbol} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_5}\n")
endforeach()
string(REPLACE "<semicolon>" ";" natives "${natives}")
string(REPLACE "<bracket>" "[" natives "${natives}")
set(PALLWICK_EXPORT_NATIVES ${CMAKE_BINARY_DIR}/export_natives.txt)
file(CONFIGURE OUTPUT ${PALLWICK_EXPORT_NATIVES} CONTENT "${natives}")
