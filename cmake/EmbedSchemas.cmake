# Writes OUT, a header holding the store schemas of DIR (sqlite.sql,
# postgresql.sql, sqlserver.sql) as string constants; a missing file gives "".
set(text "#pragma once\n// Generated from schema/*.sql at build time.\nnamespace vip::schema {\n")
foreach(name sqlite postgresql sqlserver)
  set(body "")
  if(EXISTS ${DIR}/${name}.sql)
    file(READ ${DIR}/${name}.sql body)
  endif()
  string(APPEND text "inline constexpr const char* k_${name} = R\"vipschema(${body})vipschema\";\n")
endforeach()
string(APPEND text "}  // namespace vip::schema\n")
file(WRITE ${OUT}.tmp "${text}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
