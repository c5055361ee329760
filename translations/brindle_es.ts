<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>PressNotice</name>
    <message>
        <source>%1 MB</source>
        <extracomment>A size in megabytes (1024 × 1024 bytes), as the window&apos;s captions write &quot;MB&quot;.</extracomment>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>Not downloaded: the address is not http:// and more</source>
        <translation>No descargado: la dirección no es http:// seguido de algo más</translation>
    </message>
    <message>
        <source>Not downloaded: the working folder has no name (was it deleted?)</source>
        <translation>No descargado: la carpeta de trabajo no tiene nombre (¿se eliminó?)</translation>
    </message>
    <message>
        <source>Not downloaded: the wget on PATH is Wget2; Brindle needs GNU Wget 1.x</source>
        <translation>No descargado: el wget del PATH es Wget2; Brindle necesita GNU Wget 1.x</translation>
    </message>
    <message>
        <source>Not downloaded: the size request failed</source>
        <translation>No descargado: falló la consulta del tamaño</translation>
    </message>
    <message>
        <source>Not downloaded: the server gave no size</source>
        <translation>No descargado: el servidor no indicó ningún tamaño</translation>
    </message>
    <message>
        <source>Not downloaded: another Brindle or program is writing the file</source>
        <translation>No descargado: otro Brindle u otro programa está escribiendo el archivo</translation>
    </message>
    <message>
        <source>Not downloaded: the file cannot be opened or locked, or is no regular file</source>
        <translation>No descargado: el archivo no se puede abrir ni bloquear, o no es un archivo normal</translation>
    </message>
    <message>
        <source>Not downloaded: the server could not tell whether the file holds its bytes</source>
        <translation>No descargado: el servidor no pudo decir si el archivo contiene sus bytes</translation>
    </message>
    <message>
        <source>Not downloaded: the file does not hold the server&apos;s bytes and could not be moved</source>
        <translation>No descargado: el archivo no contiene los bytes del servidor y no se pudo mover</translation>
    </message>
    <message>
        <source>Not downloaded: no new file could be locked under the name</source>
        <translation>No descargado: no se pudo bloquear ningún archivo nuevo con ese nombre</translation>
    </message>
    <message>
        <source>Not downloaded: wget could not be started</source>
        <translation>No descargado: no se pudo iniciar wget</translation>
    </message>
    <message>
        <source>Not downloaded: what wget wrote is not the server&apos;s file and was kept aside</source>
        <translation>No descargado: lo que escribió wget no es el archivo del servidor y se apartó</translation>
    </message>
    <message>
        <source>Not downloaded whole: wget stopped at %1 of %2; Download continues it</source>
        <translation>Descarga incompleta: wget se detuvo en %1 de %2; Descargar la continúa</translation>
    </message>
    <message>
        <source>Downloaded, %1</source>
        <translation>Descargado, %1</translation>
    </message>
    <message>
        <source>Not downloaded: wget wrote nothing</source>
        <translation>No descargado: wget no escribió nada</translation>
    </message>
    <message>
        <source>Not downloaded: wget failed</source>
        <translation>No descargado: wget falló</translation>
    </message>
    <message>
        <source>Not downloaded whole: wget failed at %1 of %2</source>
        <translation>No descargado del todo: wget falló en %1 de %2</translation>
    </message>
    <message>
        <source>Not downloaded: what wget wrote does not match the server&apos;s digest and was kept aside</source>
        <translation>No descargado: lo que escribió wget no coincide con el resumen del servidor y se apartó</translation>
    </message>
    <message>
        <source>Downloaded and checked against the server&apos;s digest, %1</source>
        <translation>Descargado y comprobado con el resumen del servidor, %1</translation>
    </message>
    <message>
        <source>Downloading %1</source>
        <extracomment>Why the computer does not sleep: the desktop may show it, with the file&apos;s name.</extracomment>
        <translation>Descargando %1</translation>
    </message>
</context>
<context>
    <name>app::MainWindow</name>
    <message>
        <source>File URL</source>
        <extracomment>Brindle&apos;s window: each text must fit its place. To add a language, copy this catalogue to translations/brindle_&lt;language&gt;.ts and translate it; README.md, &quot;Languages&quot;, names the two other files and the line it takes in translations/LINGUAS.</extracomment>
        <translation>Dirección</translation>
    </message>
    <message>
        <source>Total (MB)</source>
        <translation>Total (MB)</translation>
    </message>
    <message>
        <source>Current (MB)</source>
        <translation>Actual (MB)</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Progreso de la descarga</translation>
    </message>
    <message>
        <source>No browser could be started for %1: %2</source>
        <translation>No se pudo abrir ningún navegador para %1: %2</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Descargar</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pausar</translation>
    </message>
    <message>
        <source>Open Folder</source>
        <translation>Abrir carpeta</translation>
    </message>
</context>
</TS>
