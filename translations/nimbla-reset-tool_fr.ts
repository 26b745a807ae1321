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
</TS>
