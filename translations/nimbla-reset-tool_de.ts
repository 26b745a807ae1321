<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>WelcomeView</name>
    <message>
        <source>%@ reset successfully. 

Files that were not uploaded to %@ have been preserved. Access preserved files at this location: </source>
        <extracomment>Confirmation that reset was successful. &apos;%@&apos; is replaced with the product name, usually &apos;Nimbla Drive&apos;</extracomment>
        <translation>%@ wurde erfolgreich zurückgesetzt. 

Dateien, die nicht zu %@ hochgeladen wurden, wurden aufbewahrt. Sie finden die aufbewahrten Dateien an diesem Ort: </translation>
    </message>
    <message>
        <source>%@ failed to reset. 

Please try again or contact Nimbla customer support for assistance.</source>
        <extracomment>Warning that Nimbla Drive failed to reset. &apos;%@&apos; is replaced with the product name, usually &apos;Nimbla Drive&apos;</extracomment>
        <translation>%@ konnte nicht zurückgesetzt werden. 

Bitte versuchen Sie es erneut oder wenden Sie sich an den Nimbla-Kundensupport.</translation>
    </message>
    <message>
        <source>%@ was successfully uninstalled. 

Files that were not uploaded to %@ have been preserved. Access preserved files at this location: </source>
        <extracomment>Confirmation of Nimbla Drive uninstall. &apos;%@&apos; is replaced with the product name, usually &apos;Nimbla Drive&apos;</extracomment>
        <translation>%@ wurde erfolgreich deinstalliert. 

Dateien, die nicht zu %@ hochgeladen wurden, wurden aufbewahrt. Sie finden die aufbewahrten Dateien an diesem Ort: </translation>
    </message>
    <message>
        <source>Error: %@ could not be uninstalled</source>
        <extracomment>Error description for failure during nimbla drive uninstall.&apos;%@&apos; is replaced with the product name, usually &apos;Nimbla Drive&apos;</extracomment>
        <translation>Fehler: %@ konnte nicht deinstalliert werden</translation>
    </message>
    <message>
        <source>Please contact Nimbla customer support for assistance</source>
        <extracomment>Indication for user to contact nimbla customer support upon failure to uninstall</extracomment>
        <translation>Bitte wenden Sie sich an den Nimbla-Kundensupport</translation>
    </message>
    <message>
        <source>Error: %@ is running</source>
        <extracomment>Error description for when user attampts to reset or uninstall while Nimbla Drive is running. &apos;%@&apos; is replaced with the product name, usually &apos;Nimbla Drive&apos;</extracomment>
        <translation>Fehler: %@ wird ausgeführt</translation>
    </message>
    <message>
        <source>Please quit Nimbla Drive first before resetting or uninstalling</source>
        <extracomment>Indication for user to quit Nimbla Drive before resetting or uninstalling</extracomment>
        <translation>Bitte beenden Sie zuerst Nimbla Drive, bevor Sie zurücksetzen oder deinstallieren</translation>
    </message>
    <message>
        <source>Reset</source>
        <extracomment>Reset button</extracomment>
        <translation>Zurücksetzen</translation>
    </message>
    <message>
        <source>Uninstall</source>
        <extracomment>Uninstall button</extracomment>
        <translation>Deinstallieren</translation>
    </message>
</context>
<context>
    <name>InfoPlist</name>
    <message>
        <source>Nimbla Reset Tool writes a log of each reset and uninstall to a file on your Desktop.</source>
        <comment>NSDesktopFolderUsageDescription</comment>
        <extracomment>Shown by macOS when it asks the user to allow access (the bundle&apos;s InfoPlist.strings; the comment is the Info.plist key)</extracomment>
        <translation>Das Nimbla Reset Tool schreibt ein Protokoll jedes Zurücksetzens und jeder Deinstallation in eine Datei auf Ihrem Schreibtisch.</translation>
    </message>
    <message>
        <source>Nimbla Reset Tool removes Nimbla Drive&apos;s file provider domain; files that were not uploaded are kept in an archive folder.</source>
        <comment>NSFileProviderDomainUsageDescription</comment>
        <extracomment>Shown by macOS when it asks the user to allow access (the bundle&apos;s InfoPlist.strings; the comment is the Info.plist key)</extracomment>
        <translation>Das Nimbla Reset Tool entfernt die Dateianbieter-Domain von Nimbla Drive; nicht hochgeladene Dateien werden in einem Archivordner aufbewahrt.</translation>
    </message>
</context>
</TS>
