# Renders one guide: cmake -DCMARK_GFM=… -DLANGUAGE=en|id -DIN=guide.md -DOUT=guide.html -P …
execute_process(COMMAND ${CMARK_GFM} --extension table ${IN} OUTPUT_VARIABLE body
                COMMAND_ERROR_IS_FATAL ANY)
file(STRINGS ${IN} title LIMIT_COUNT 1)
string(REGEX REPLACE "^# " "" title "${title}")
file(WRITE ${OUT} "<!DOCTYPE html>
<html lang=\"${LANGUAGE}\">
<head>
<meta charset=\"utf-8\">
<title>${title}</title>
<style>
body { font-family: sans-serif; max-width: 52em; margin: 1em auto; padding: 0 1em; line-height: 1.4; }
table { border-collapse: collapse; }
th, td { border: 1px solid #999; padding: 0.3em 0.5em; text-align: left; vertical-align: top; }
code { background: #eee; }
</style>
</head>
<body>
${body}</body>
</html>
")
