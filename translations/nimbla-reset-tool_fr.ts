<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>WelcomeView</name>
    <message>
        <source>%@ reset successfully. 

Files that were not uploaded to %@ have been preserved. Access preserved files at this location: </source>
        <extracomment>Confirmation that reset was successful. &apos;%@&apos; is replaced with the product name, usually &apos;Nimbla Drive&apos;</extracomment>
        <translation>%@ a été réinitialisé avec succès. 

Les fichiers qui n’avaient pas été envoyés vers %@ ont été conservés. Accédez aux fichiers conservés à cet emplacement&#xa0;: </translation>
    </message>
    <message>
        <source>%@ failed to reset. 

Please try again or contact Nimbla customer support for assistance.</source>
        <extracomment>Warning that Nimbla Drive failed to reset. &apos;%@&apos; is replaced with the product name, usually &apos;Nimbla Drive&apos;</extracomment>
        <translation>La réinitialisation de %@ a échoué. 

Veuillez réessayer ou contacter le service client de Nimbla pour obtenir de l’aide.</translation>
    </message>
    <message>
        <source>%@ was successfully uninstalled. 

Files that were not uploaded to %@ have been preserved. Access preserved files at this location: </source>
        <extracomment>Confirmation of Nimbla Drive uninstall. &apos;%@&apos; is replaced with the product name, usually &apos;Nimbla Drive&apos;</extracomment>
        <translation>%@ a été désinstallé avec succès. 

Les fichiers qui n’avaient pas été envoyés vers %@ ont été conservés. Accédez aux fichiers conservés à cet emplacement&#xa0;: </translation>
    </message>
    <message>
        <source>Error: %@ could not be uninstalled</source>
        <extracomment>Error description for failure during nimbla drive uninstall.&apos;%@&apos; is replaced with the product name, usually &apos;Nimbla Drive&apos;</extracomment>
        <translation>Erreur&#xa0;: %@ n’a pas pu être désinstallé</translation>
    </message>
    <message>
        <source>Please contact Nimbla customer support for assistance</source>
        <extracomment>Indication for user to contact nimbla customer support upon failure to uninstall</extracomment>
        <translation>Veuillez contacter le service client de Nimbla pour obtenir de l’aide</translation>
    </message>
    <message>
        <source>Error: %@ is running</source>
        <extracomment>Error description for when user attampts to reset or uninstall while Nimbla Drive is running. &apos;%@&apos; is replaced with the product name, usually &apos;Nimbla Drive&apos;</extracomment>
        <translation>Erreur&#xa0;: %@ est en cours d’exécution</translation>
    </message>
    <message>
        <source>Please quit Nimbla Drive first before resetting or uninstalling</source>
        <extracomment>Indication for user to quit Nimbla Drive before resetting or uninstalling</extracomment>
        <translation>Veuillez d’abord quitter Nimbla Drive avant de réinitialiser ou de désinstaller</translation>
    </message>
    <message>
        <source>Reset</source>
        <extracomment>Reset button</extracomment>
        <translation>Réinitialiser</translation>
    </message>
    <message>
        <source>Uninstall</source>
        <extracomment>Uninstall button</extracomment>
        <translation>Désinstaller</translation>
    </message>
</context>
<context>
    <name>InfoPlist</name>
    <message>
        <source>Nimbla Reset Tool writes a log of each reset and uninstall to a file on your Desktop.</source>
        <comment>NSDesktopFolderUsageDescription</comment>
        <extracomment>Shown by macOS when it asks the user to allow access (the bundle&apos;s InfoPlist.strings; the comment is the Info.plist key)</extracomment>
        <translation>Nimbla Reset Tool enregistre un journal de chaque réinitialisation et désinstallation dans un fichier sur votre bureau.</translation>
    </message>
    <message>
        <source>Nimbla Reset Tool removes Nimbla Drive&apos;s file provider domain; files that were not uploaded are kept in an archive folder.</source>
        <comment>NSFileProviderDomainUsageDescription</comment>
        <extracomment>Shown by macOS when it asks the user to allow access (the bundle&apos;s InfoPlist.strings; the comment is the Info.plist key)</extracomment>
        <translation>Nimbla Reset Tool supprime le domaine de fournisseur de fichiers de Nimbla Drive ; les fichiers non téléversés sont conservés dans un dossier d’archive.</translation>
    </message>
</context>
</TS>
