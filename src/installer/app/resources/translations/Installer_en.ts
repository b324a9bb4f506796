<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="titleWindow">
        <source>Window title</source>
        <translation>Corvane Tavoren Installer</translation>
    </message>
    <message id="TitleMessage">
        <source>First screen instruction</source>
        <translation>Accept the terms of service, then drag the driver onto the disk to install it.</translation>
    </message>
    <message id="Intializing">
        <source>Looking for the package and an installed version</source>
        <translation>Looking for the driver and an installed version…</translation>
    </message>
    <message id="IAgreeTermsOfKYR">
        <source>Accept the terms check box</source>
        <translation>I accept the terms of service</translation>
    </message>
    <message id="TermsOfService">
        <source>Button that opens the licence</source>
        <translation>Terms of service</translation>
    </message>
    <message id="License">
        <source>Licence screen heading</source>
        <translation>Licence agreement</translation>
    </message>
    <message id="PublicComputer">
        <source>Public computer choice</source>
        <translation>Public computer (store, kiosk, library): e-mail addresses are never remembered.</translation>
    </message>
    <message id="PrivateComputer">
        <source>Private computer choice</source>
        <translation>Private computer (yours): your e-mail address is remembered for your next print.</translation>
    </message>
    <message id="SaveComputerSettings">
        <source>How is this computer used</source>
        <translation>How is this computer used?</translation>
    </message>
    <message id="Next">
        <source>Next button</source>
        <translation>Next</translation>
    </message>
    <message id="Back">
        <source>Back button</source>
        <translation>Back</translation>
    </message>
    <message id="Install">
        <source>Install button</source>
        <translation>Install</translation>
    </message>
    <message id="Cancel">
        <source>Cancel button</source>
        <translation>Cancel</translation>
    </message>
    <message id="Close">
        <source>Close button</source>
        <translation>Close</translation>
    </message>
    <message id="OK">
        <source>OK button</source>
        <translation>OK</translation>
    </message>
    <message id="Continue">
        <source>Continue button</source>
        <translation>Continue</translation>
    </message>
    <message id="InstallerBusy">
        <source>Cannot quit while installing</source>
        <translation>Installation in progress</translation>
    </message>
    <message id="WindowClosed">
        <source>Wait for the installation to finish</source>
        <translation>Please wait until the installation has finished before you quit the installer.</translation>
    </message>
    <message id="Warning">
        <source>Warning title</source>
        <translation>Warning</translation>
    </message>
    <message id="CloseApplications">
        <source>Close printing applications</source>
        <translation>Please close the applications that are printing before you continue.</translation>
    </message>
    <message id="AboutWrapper">
        <source>About menu item</source>
        <translation>About Corvane Tavoren Installer</translation>
    </message>
    <message id="InstallerLog">
        <source>Installer log menu item</source>
        <translation>Installer log</translation>
    </message>
    <message id="HideWrapper">
        <source>Hide menu item</source>
        <translation>Hide Corvane Tavoren Installer</translation>
    </message>
    <message id="HideOthers">
        <source>Hide others menu item</source>
        <translation>Hide others</translation>
    </message>
    <message id="ShowAll">
        <source>Show all menu item</source>
        <translation>Show all</translation>
    </message>
    <message id="QuitWrapper">
        <source>Quit menu item</source>
        <translation>Quit Corvane Tavoren Installer</translation>
    </message>
    <message id="AvailableSpace">
        <source>Free space label</source>
        <translation>Available</translation>
    </message>
    <message id="GB">
        <source>Gigabyte unit</source>
        <translation>GB</translation>
    </message>
    <message id="displayName">
        <source>Product name</source>
        <translation>Corvane Tavoren Driver</translation>
    </message>
    <message id="Installing">
        <source>Installing the product</source>
        <translation>Installing %@</translation>
    </message>
    <message id="Uninstalling">
        <source>Removing the installed version</source>
        <translation>Removing the installed version…</translation>
    </message>
    <message id="UninstallComplete">
        <source>Installed version removed</source>
        <translation>The installed version has been removed.</translation>
    </message>
    <message id="MissingPackage">
        <source>Package not found</source>
        <translation>The driver package was not found. Open the installer from the complete installation disk.</translation>
    </message>
    <message id="AppInstalledWarningMessage">
        <source>Product and installed version</source>
        <translation>%@ %@ is installed. It will be replaced by this version.</translation>
    </message>
    <message id="InstallFailed">
        <source>Installation failed</source>
        <translation>The installation failed</translation>
    </message>
    <message id="InstallFailedSubResult">
        <source>What to do after a failure</source>
        <translation>Nothing was changed. Look at the installer log in the application menu, then try again or contact support.</translation>
    </message>
    <message id="InstallSuccessful">
        <source>Installed</source>
        <translation>The installation was successful</translation>
    </message>
    <message id="InstallSuccessfulSubResult">
        <source>Next step after installing</source>
        <translation>Print from any application to the “Corvane Tavoren” printer, then collect your document at a store printer with your release code.</translation>
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
        <translation>Preparing for installation…</translation>
    </message>
    <message id="PHASE_PrepareDisk">
        <source>Preparing the disk</source>
        <translation>Preparing the disk…</translation>
    </message>
    <message id="PHASE_Wait">
        <source>Waiting for other installations</source>
        <translation>Waiting for other installations to complete…</translation>
    </message>
    <message id="PHASE_Configure">
        <source>Configuring</source>
        <translation>Configuring the installation…</translation>
    </message>
    <message id="PHASE_WriteFiles">
        <source>Writing files</source>
        <translation>Writing files…</translation>
    </message>
    <message id="PHASE_RunScripts">
        <source>Running package scripts</source>
        <translation>Running package scripts…</translation>
    </message>
    <message id="PHASE_MovingItems">
        <source>Moving items</source>
        <translation>Moving items into place…</translation>
    </message>
    <message id="PHASE_Cleaning">
        <source>Cleaning up</source>
        <translation>Cleaning up…</translation>
    </message>
    <message id="PHASE_WritingPkg">
        <source>Writing package receipts</source>
        <translation>Writing package receipts…</translation>
    </message>
    <message id="PHASE_Registering">
        <source>Registering updated applications</source>
        <translation>Registering updated applications…</translation>
    </message>
    <message id="PHASE_ValidatePkgs">
        <source>Validating packages</source>
        <translation>Validating packages…</translation>
    </message>
    <message id="PHASE_RunInstallActions">
        <source>Running installer actions</source>
        <translation>Running installer actions…</translation>
    </message>
    <message id="PHASE_FinishInstall">
        <source>Finishing the installation</source>
        <translation>Finishing the installation…</translation>
    </message>
    <message id="PHASE_Optimising">
        <source>Optimising the system</source>
        <translation>Optimising the system…</translation>
    </message>
    <message id="HelpMessage">
        <source>How to install</source>
        <translation>Accept the terms of service first. Then drag the driver onto the disk beside it, or press Next: the installer asks how this computer is used, then installs.</translation>
    </message>
    <message id="SaveLogFailed">
        <source>Log not saved</source>
        <translation>The log could not be saved to %@: %@</translation>
    </message>
    <message id="StartupDisk">
        <source>The computer's own disk</source>
        <translation>Startup disk</translation>
    </message>
    <message id="SaveLog">
        <source>Save the log</source>
        <translation>Save…</translation>
    </message>
    <message id="SearchLog">
        <source>Search field of the log</source>
        <translation>Search the log</translation>
    </message>
    <message id="InstallWarning">
        <source>Install now</source>
        <translation>Printing stops while the driver is being installed. Install it now?</translation>
    </message>
    <message id="AccessibleProduct">
        <source>Product picture, read by a screen reader</source>
        <translation>Driver to install</translation>
    </message>
    <message id="AccessibleProductHint">
        <source>What the keyboard does on the product picture</source>
        <translation>Press Space to install it on the startup disk, as dragging it onto the disk or pressing Next does.</translation>
    </message>
    <message id="AccessibleArrow">
        <source>Arrow picture between the product and the disk</source>
        <translation>Arrow from the driver to the disk</translation>
    </message>
    <message id="AccessibleHelp">
        <source>Help icon, read by a screen reader</source>
        <translation>How to install (F1)</translation>
    </message>
    <message id="AccessibleProgress">
        <source>Progress bar, read by a screen reader</source>
        <translation>Installation progress</translation>
    </message>
</context>
</TS>
