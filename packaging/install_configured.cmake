# SPDX-License-Identifier: MIT
# Included by the install step (packaging/CMakeLists.txt): writes the systemd units and the cron.d
# example with the path of the installed program, and installs them; into /usr, also the Debian
# package's changelog and news, and the web servers' snippets as the package's conffiles. It runs
# when the prefix is certain: CMAKE_INSTALL_PREFIX is then the one installed into (/usr under
# cpack).
cmake_path(SET norvane_prefix NORMALIZE "${CMAKE_INSTALL_PREFIX}/")
cmake_path(ABSOLUTE_PATH norvane_bindir BASE_DIRECTORY "${norvane_prefix}" NORMALIZE
           OUTPUT_VARIABLE NORVANE_BINDIR)
cmake_path(ABSOLUTE_PATH norvane_docdir BASE_DIRECTORY "${norvane_prefix}" NORMALIZE
           OUTPUT_VARIABLE norvane_full_docdir)
if(norvane_unit_dir)
  cmake_path(ABSOLUTE_PATH norvane_unit_dir BASE_DIRECTORY "${norvane_prefix}" NORMALIZE
             OUTPUT_VARIABLE norvane_full_unit_dir)
elseif(norvane_prefix STREQUAL "/usr/")
  # The system's own packages keep their units there (/lib/systemd/system on Debian 12).
  set(norvane_full_unit_dir "${norvane_systemd_dir_of_usr}")
else()
  # systemd also reads /usr/local/lib/systemd/system, the administrator's folder.
  set(norvane_full_unit_dir "${norvane_prefix}lib/systemd/system")
endif()
string(REGEX REPLACE "(.)/$" "\\1" NORVANE_BINDIR "${NORVANE_BINDIR}")
string(REGEX REPLACE "(.)/$" "\\1" norvane_full_unit_dir "${norvane_full_unit_dir}")

# A Release build's program loses its symbols, and the sections that Debian's dh_strip removes.
if(CMAKE_INSTALL_CONFIG_NAME MATCHES "^(Release|MinSizeRel)$" AND norvane_strip)
  set(norvane_program "$ENV{DESTDIR}${NORVANE_BINDIR}/norvane_foF2")
  message(STATUS "Stripping: ${norvane_program}")
  execute_process(COMMAND "${norvane_strip}" --remove-section=.comment --remove-section=.note
                          "${norvane_program}" COMMAND_ERROR_IS_FATAL ANY)
endif()

set(norvane_out "${norvane_packaging_binary}/configured")
configure_file("${norvane_packaging_source}/systemd/norvane-foF2@.service.in"
               "${norvane_out}/norvane-foF2@.service" @ONLY)
configure_file("${norvane_packaging_source}/examples/cron.d/norvane-foF2.in"
               "${norvane_out}/cron.d/norvane-foF2" @ONLY)

file(INSTALL DESTINATION "${norvane_full_unit_dir}" TYPE FILE
     FILES "${norvane_out}/norvane-foF2@.service"
           "${norvane_packaging_source}/systemd/norvane-foF2@.timer"
           "${norvane_packaging_source}/systemd/norvane-foF2@.path")
file(INSTALL DESTINATION "${norvane_full_docdir}/examples/cron.d" TYPE FILE
     FILES "${norvane_out}/cron.d/norvane-foF2")

if(norvane_prefix STREQUAL "/usr/")
  file(INSTALL DESTINATION "${norvane_full_docdir}" TYPE FILE
       FILES "${norvane_packaging_binary}/changelog.Debian.gz"
             "${norvane_packaging_binary}/NEWS.Debian.gz")
endif()

# The web page's settings and the index of the stations (one line a station): configuration
# files, which an administrator edits. The package makes them conffiles, which dpkg keeps when
# edited; any other install leaves an existing one alone.
if(norvane_prefix STREQUAL "/usr/")
  set(norvane_page_settings_dir "/etc/norvane-fof2")
else()
  set(norvane_page_settings_dir "${norvane_prefix}etc/norvane-fof2")
endif()
foreach(norvane_page_file page.conf stations.html)
  if(NOT EXISTS "$ENV{DESTDIR}${norvane_page_settings_dir}/${norvane_page_file}")
    file(INSTALL DESTINATION "${norvane_page_settings_dir}" TYPE FILE
         FILES "${norvane_packaging_source}/../web/${norvane_page_file}")
  endif()
endforeach()

# Into /usr (the package), the web servers' snippets go where Debian's Apache and nginx look for
# them, as conffiles, so that an upgrade brings their changes and keeps the administrator's. The
# package enables neither. Any other install leaves them with the examples, and never replaces
# a snippet that is there.
if(norvane_prefix STREQUAL "/usr/")
  foreach(norvane_snippet "apache.conf;/etc/apache2/conf-available"
                          "nginx.conf;/etc/nginx/snippets")
    list(GET norvane_snippet 0 norvane_snippet_source)
    list(GET norvane_snippet 1 norvane_snippet_dir)
    if(NOT EXISTS "$ENV{DESTDIR}${norvane_snippet_dir}/norvane-fof2.conf")
      file(INSTALL DESTINATION "${norvane_snippet_dir}" TYPE FILE
           FILES "${norvane_packaging_source}/../web/${norvane_snippet_source}"
           RENAME norvane-fof2.conf)
    endif()
  endforeach()
endif()
