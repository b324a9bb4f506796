<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name></name>
    <message id="titleWindow">
        <source>Window title</source>
        <translation>Programme d’installation Corvane Tavoren</translation>
    </message>
    <message id="TitleMessage">
        <source>First screen instruction</source>
        <translation>Acceptez les conditions d’utilisation, puis faites glisser le pilote sur le disque pour l’installer.</translation>
    </message>
    <message id="Intializing">
        <source>Looking for the package and an installed version</source>
        <translation>Recherche du pilote et d’une version installée…</translation>
    </message>
    <message id="IAgreeTermsOfKYR">
        <source>Accept the terms check box</source>
        <translation>J’accepte les conditions d’utilisation</translation>
    </message>
    <message id="TermsOfService">
        <source>Button that opens the licence</source>
        <translation>Conditions d’utilisation</translation>
    </message>
    <message id="License">
        <source>Licence screen heading</source>
        <translation>Contrat de licence</translation>
    </message>
    <message id="PublicComputer">
        <source>Public computer choice</source>
        <translation>Ordinateur public (magasin, borne, bibliothèque) : les adresses électroniques ne sont jamais mémorisées.</translation>
    </message>
    <message id="PrivateComputer">
        <source>Private computer choice</source>
        <translation>Ordinateur personnel (le vôtre) : votre adresse électronique est mémorisée pour la prochaine impression.</translation>
    </message>
    <message id="SaveComputerSettings">
        <source>How is this computer used</source>
        <translation>Comment cet ordinateur est-il utilisé ?</translation>
    </message>
    <message id="Next">
        <source>Next button</source>
        <translation>Suivant</translation>
    </message>
    <message id="Back">
        <source>Back button</source>
        <translation>Retour</translation>
    </message>
    <message id="Install">
        <source>Install button</source>
        <translation>Installer</translation>
    </message>
    <message id="Cancel">
        <source>Cancel button</source>
        <translation>Annuler</translation>
    </message>
    <message id="Close">
        <source>Close button</source>
        <translation>Fermer</translation>
    </message>
    <message id="OK">
        <source>OK button</source>
        <translation>OK</translation>
    </message>
    <message id="Continue">
        <source>Continue button</source>
        <translation>Continuer</translation>
    </message>
    <message id="InstallerBusy">
        <source>Cannot quit while installing</source>
        <translation>Installation en cours</translation>
    </message>
    <message id="WindowClosed">
        <source>Wait for the installation to finish</source>
        <translation>Veuillez attendre la fin de l’installation avant de quitter le programme d’installation.</translation>
    </message>
    <message id="Warning">
        <source>Warning title</source>
        <translation>Attention</translation>
    </message>
    <message id="CloseApplications">
        <source>Close printing applications</source>
        <translation>Veuillez fermer les applications en cours d’impression avant de continuer.</translation>
    </message>
    <message id="AboutWrapper">
        <source>About menu item</source>
        <translation>À propos du programme d’installation</translation>
    </message>
    <message id="InstallerLog">
        <source>Installer log menu item</source>
        <translation>Journal d’installation</translation>
    </message>
    <message id="HideWrapper">
        <source>Hide menu item</source>
        <translation>Masquer le programme d’installation</translation>
    </message>
    <message id="HideOthers">
        <source>Hide others menu item</source>
        <translation>Masquer les autres</translation>
    </message>
    <message id="ShowAll">
        <source>Show all menu item</source>
        <translation>Tout afficher</translation>
    </message>
    <message id="QuitWrapper">
        <source>Quit menu item</source>
        <translation>Quitter le programme d’installation</translation>
    </message>
    <message id="AvailableSpace">
        <source>Free space label</source>
        <translation>Disponible</translation>
    </message>
    <message id="GB">
        <source>Gigabyte unit</source>
        <translation>Go</translation>
    </message>
    <message id="displayName">
        <source>Product name</source>
        <translation>Corvane Tavoren Driver</translation>
    </message>
    <message id="Installing">
        <source>Installing the product</source>
        <translation>Installation de %@</translation>
    </message>
    <message id="Uninstalling">
        <source>Removing the installed version</source>
        <translation>Suppression de la version installée…</translation>
    </message>
    <message id="UninstallComplete">
        <source>Installed version removed</source>
        <translation>La version installée a été supprimée.</translation>
    </message>
    <message id="MissingPackage">
        <source>Package not found</source>
        <translation>Le paquet du pilote est introuvable. Ouvrez le programme d’installation depuis le disque d’installation complet.</translation>
    </message>
    <message id="AppInstalledWarningMessage">
        <source>Product and installed version</source>
        <translation>%@ %@ est installé. Il sera remplacé par cette version.</translation>
    </message>
    <message id="InstallFailed">
        <source>Installation failed</source>
        <translation>L’installation a échoué</translation>
    </message>
    <message id="InstallFailedSubResult">
        <source>What to do after a failure</source>
        <translation>Rien n’a été modifié. Consultez le journal d’installation dans le menu de l’application, puis réessayez ou contactez l’assistance.</translation>
    </message>
    <message id="InstallSuccessful">
        <source>Installed</source>
        <translation>L’installation a réussi</translation>
    </message>
    <message id="InstallSuccessfulSubResult">
        <source>Next step after installing</source>
        <translation>Imprimez sur l’imprimante « Corvane Tavoren » depuis n’importe quelle application, puis retirez votre document en magasin avec votre code de libération.</translation>
    </message>
    <message id="applicationImage">
        <source>Product image resource</source>
        <translation>TavorenDriver.png</translation>
    </message>
    <message id="backgroundImage">
        <source>Background image resource</source>
        <translation>InstallerBackground.png</translation>
    </message>
    <message id="PHASE_PrepareInstall">
        <source>Preparing for installation</source>
        <translation>Préparation de l’installation…</translation>
    </message>
    <message id="PHASE_PrepareDisk">
        <source>Preparing the disk</source>
        <translation>Préparation du disque…</translation>
    </message>
    <message id="PHASE_Wait">
        <source>Waiting for other installations</source>
        <translation>Attente de la fin des autres installations…</translation>
    </message>
    <message id="PHASE_Configure">
        <source>Configuring</source>
        <translation>Configuration de l’installation…</translation>
    </message>
    <message id="PHASE_WriteFiles">
        <source>Writing files</source>
        <translation>Écriture des fichiers…</translation>
    </message>
    <message id="PHASE_RunScripts">
        <source>Running package scripts</source>
        <translation>Exécution des scripts du paquet…</translation>
    </message>
    <message id="PHASE_MovingItems">
        <source>Moving items</source>
        <translation>Mise en place des éléments…</translation>
    </message>
    <message id="PHASE_Cleaning">
        <source>Cleaning up</source>
        <translation>Nettoyage…</translation>
    </message>
    <message id="PHASE_WritingPkg">
        <source>Writing package receipts</source>
        <translation>Écriture des reçus de paquet…</translation>
    </message>
    <message id="PHASE_Registering">
        <source>Registering updated applications</source>
        <translation>Enregistrement des applications mises à jour…</translation>
    </message>
    <message id="PHASE_ValidatePkgs">
        <source>Validating packages</source>
        <translation>Validation des paquets…</translation>
    </message>
    <message id="PHASE_RunInstallActions">
        <source>Running installer actions</source>
        <translation>Exécution des actions d’installation…</translation>
    </message>
    <message id="PHASE_FinishInstall">
        <source>Finishing the installation</source>
        <translation>Finalisation de l’installation…</translation>
    </message>
    <message id="PHASE_Optimising">
        <source>Optimising the system</source>
        <translation>Optimisation du système…</translation>
    </message>
    <message id="HelpMessage">
        <source>How to install</source>
        <translation>Acceptez d’abord les conditions d’utilisation. Faites ensuite glisser le pilote sur le disque à côté, ou cliquez sur Suivant : le programme vous demande comment l’ordinateur est utilisé, puis installe le pilote.</translation>
    </message>
    <message id="SaveLogFailed">
        <source>Log not saved</source>
        <translation>Le journal n’a pas pu être enregistré dans %@ : %@</translation>
    </message>
    <message id="StartupDisk">
        <source>The computer's own disk</source>
        <translation>Disque de démarrage</translation>
    </message>
    <message id="SaveLog">
        <source>Save the log</source>
        <translation>Enregistrer…</translation>
    </message>
    <message id="SearchLog">
        <source>Search field of the log</source>
        <translation>Rechercher dans le journal</translation>
    </message>
    <message id="InstallWarning">
        <source>Install now</source>
        <translation>L’impression s’interrompt pendant l’installation du pilote. L’installer maintenant ?</translation>
    </message>
    <message id="AccessibleProduct">
        <source>Product picture, read by a screen reader</source>
        <translation>Pilote à installer</translation>
    </message>
    <message id="AccessibleProductHint">
        <source>What the keyboard does on the product picture</source>
        <translation>Appuyez sur Espace pour l’installer sur le disque de démarrage, comme en le faisant glisser sur le disque ou en cliquant sur Suivant.</translation>
    </message>
    <message id="AccessibleArrow">
        <source>Arrow picture between the product and the disk</source>
        <translation>Flèche du pilote vers le disque</translation>
    </message>
    <message id="AccessibleHelp">
        <source>Help icon, read by a screen reader</source>
        <translation>Comment installer (F1)</translation>
    </message>
    <message id="AccessibleProgress">
        <source>Progress bar, read by a screen reader</source>
        <translation>Progression de l’installation</translation>
    </message>
</context>
</TS>
