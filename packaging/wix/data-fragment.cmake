# Writes wix/zaqservice-data.wxs into an installed release layout: the
# component group ZaqServiceData, one component per catalog and codeset table
# the layout holds (none when the build made none), for zaqservice.wxs.
# Run by the install step (zip and MSI alike) after the files are in place:
#   set(ZAQ_LAYOUT <layout folder>) include(data-fragment.cmake)
# The install script runs with old policies; include() scopes this one.
cmake_policy(VERSION 3.25)

set(root "${ZAQ_LAYOUT}")
set(components "")
set(refs "")
set(ids "")

# An Id from a file name: letters, digits, "_" and "." only; two names that
# give the same Id would make one component of two files.
function(zaq_wix_id out prefix name)
  string(MAKE_C_IDENTIFIER "${name}" id)
  set(id "${prefix}${id}")
  if(id IN_LIST ids)
    message(FATAL_ERROR "data-fragment: two files give the Id ${id}")
  endif()
  set(ids ${ids} ${id} PARENT_SCOPE)
  set(${out} ${id} PARENT_SCOPE)
endfunction()

macro(zaq_wix_file indent id source name)
  string(APPEND components
         "${indent}<Component Id=\"${id}\" Guid=\"*\" Win64=\"$(var.ZaqWin64)\">\n"
         "${indent}  <File Id=\"${id}\" Name=\"${name}\" Source=\"$(var.ZaqLayout)/${source}\" KeyPath=\"yes\"/>\n"
         "${indent}</Component>\n")
  string(APPEND refs "      <ComponentRef Id=\"${id}\"/>\n")
endmacro()

# The English catalog, in the working directory itself.
set(top "")
if(EXISTS "${root}/winServCMessages.cat")
  set(components "")
  zaq_wix_file("      " ZaqCatalog winServCMessages.cat winServCMessages.cat)
  set(top "${components}")
  set(components "")
endif()

# The translations, nls\<locale>\winServCMessages.cat.
file(GLOB locales RELATIVE "${root}/nls" "${root}/nls/*/winServCMessages.cat")
list(SORT locales)
set(nls "")
foreach(catalog IN LISTS locales)
  get_filename_component(locale "${catalog}" DIRECTORY)
  zaq_wix_id(id ZaqCatalog_ "${locale}")
  set(components "")
  zaq_wix_file("          " ${id} "nls/${locale}/winServCMessages.cat" winServCMessages.cat)
  string(APPEND nls "        <Directory Id=\"ZaqNls_${locale}\" Name=\"${locale}\">\n${components}        </Directory>\n")
endforeach()

# The codeset tables and their aliases file, zel\codeset\.
file(GLOB tables RELATIVE "${root}/zel/codeset" "${root}/zel/codeset/*")
list(SORT tables)
set(codesets "")
foreach(table IN LISTS tables)
  zaq_wix_id(id ZaqCodeset_ "${table}")
  set(components "")
  zaq_wix_file("            " ${id} "zel/codeset/${table}" "${table}")
  string(APPEND codesets "${components}")
endforeach()

set(text "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n")
string(APPEND text "<!-- Made by the build from the files of this layout (packaging/wix/data-fragment.cmake). -->\n")
string(APPEND text "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n  <?include zaqservice.wxi ?>\n  <Fragment>\n")
string(APPEND text "    <DirectoryRef Id=\"$(var.ZaqDirectory)\">\n${top}")
if(nls)
  string(APPEND text "      <Directory Id=\"ZaqNls\" Name=\"nls\">\n${nls}      </Directory>\n")
endif()
if(codesets)
  string(APPEND text "      <Directory Id=\"ZaqZel\" Name=\"zel\">\n"
                     "        <Directory Id=\"ZaqCodesets\" Name=\"codeset\">\n${codesets}"
                     "        </Directory>\n      </Directory>\n")
endif()
string(APPEND text "    </DirectoryRef>\n    <ComponentGroup Id=\"ZaqServiceData\">\n${refs}")
string(APPEND text "    </ComponentGroup>\n  </Fragment>\n</Wix>\n")
file(WRITE "${root}/wix/zaqservice-data.wxs" "${text}")
