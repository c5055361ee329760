<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>PressNotice</name>
    <message>
        <source>%1 MB</source>
        <extracomment>A size in megabytes (1024 × 1024 bytes), as the window&apos;s captions write &quot;MB&quot;.</extracomment>
        <translation>%1 Mo</translation>
    </message>
    <message>
        <source>Not downloaded: the address is not http:// and more</source>
        <translation>Non téléchargé : l’adresse n’est pas http:// suivi d’autre chose</translation>
    </message>
    <message>
        <source>Not downloaded: the working folder has no name (was it deleted?)</source>
        <translation>Non téléchargé : le dossier de travail n’a pas de nom (a-t-il été supprimé ?)</translation>
    </message>
    <message>
        <source>Not downloaded: the wget on PATH is Wget2; Brindle needs GNU Wget 1.x</source>
        <translation>Non téléchargé : le wget du PATH est Wget2 ; Brindle a besoin de GNU Wget 1.x</translation>
    </message>
    <message>
        <source>Not downloaded: the size request failed</source>
        <translation>Non téléchargé : la demande de taille a échoué</translation>
    </message>
    <message>
        <source>Not downloaded: the server gave no size</source>
        <translation>Non téléchargé : le serveur n’a donné aucune taille</translation>
    </message>
    <message>
        <source>Not downloaded: another Brindle or program is writing the file</source>
        <translation>Non téléchargé : un autre Brindle ou programme écrit ce fichier</translation>
    </message>
    <message>
        <source>Not downloaded: the file cannot be opened or locked, or is no regular file</source>
        <translation>Non téléchargé : le fichier ne peut être ouvert ni verrouillé, ou n’est pas un fichier ordinaire</translation>
    </message>
    <message>
        <source>Not downloaded: the server could not tell whether the file holds its bytes</source>
        <translation>Non téléchargé : le serveur n’a pas pu dire si le fichier contient ses octets</translation>
    </message>
    <message>
        <source>Not downloaded: the file does not hold the server&apos;s bytes and could not be moved</source>
        <translation>Non téléchargé : le fichier ne contient pas les octets du serveur et n’a pas pu être déplacé</translation>
    </message>
    <message>
        <source>Not downloaded: no new file could be locked under the name</source>
        <translation>Non téléchargé : aucun nouveau fichier n’a pu être verrouillé sous ce nom</translation>
    </message>
    <message>
        <source>Not downloaded: wget could not be started</source>
        <translation>Non téléchargé : wget n’a pas pu être lancé</translation>
    </message>
    <message>
        <source>Not downloaded: what wget wrote is not the server&apos;s file and was kept aside</source>
        <translation>Non téléchargé : ce que wget a écrit n’est pas le fichier du serveur et a été mis de côté</translation>
    </message>
    <message>
        <source>Not downloaded whole: wget stopped at %1 of %2; Download continues it</source>
        <translation>Téléchargement incomplet : wget s’est arrêté à %1 sur %2 ; Télécharger le poursuit</translation>
    </message>
    <message>
        <source>Downloaded, %1</source>
        <translation>Téléchargé, %1</translation>
    </message>
    <message>
        <source>Not downloaded: wget wrote nothing</source>
        <translation>Non téléchargé : wget n’a rien écrit</translation>
    </message>
    <message>
        <source>Not downloaded: wget failed</source>
        <translation>Non téléchargé : wget a échoué</translation>
    </message>
    <message>
        <source>Not downloaded whole: wget failed at %1 of %2</source>
        <translation>Téléchargement incomplet : wget a échoué à %1 sur %2</translation>
    </message>
    <message>
        <source>Not downloaded: what wget wrote does not match the server&apos;s digest and was kept aside</source>
        <translation>Non téléchargé : ce que wget a écrit ne correspond pas à l’empreinte du serveur et a été mis de côté</translation>
    </message>
    <message>
        <source>Downloaded and checked against the server&apos;s digest, %1</source>
        <translation>Téléchargé et vérifié avec l’empreinte du serveur, %1</translation>
    </message>
    <message>
        <source>Downloading %1</source>
        <extracomment>Why the computer does not sleep: the desktop may show it, with the file&apos;s name.</extracomment>
        <translation>Téléchargement de %1</translation>
    </message>
</context>
<context>
    <name>app::MainWindow</name>
    <message>
        <source>File URL</source>
        <extracomment>Brindle&apos;s window: each text must fit its place. To add a language, copy this catalogue to translations/brindle_&lt;language&gt;.ts and translate it; README.md, &quot;Languages&quot;, names the two other files and the line it takes in translations/LINGUAS.</extracomment>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>Total (MB)</source>
        <translation>Total (Mo)</translation>
    </message>
    <message>
        <source>Current (MB)</source>
        <translation>Actuel (Mo)</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Progression du téléchargement</translation>
    </message>
    <message>
        <source>No browser could be started for %1: %2</source>
        <translation>Aucun navigateur n’a pu être lancé pour %1&#xa0;: %2</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Télécharger</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Open Folder</source>
        <translation>Ouvrir le dossier</translation>
    </message>
</context>
</TS>
