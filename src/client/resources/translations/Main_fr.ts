<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name></name>
    <message id="limit_reached">
        <source>Too many requests</source>
        <translation>Le service d’impression est très sollicité en ce moment. Patientez quelques minutes, puis imprimez à nouveau votre document.</translation>
    </message>
    <message id="connection_not_established">
        <source>No connection</source>
        <translation>Impossible de joindre le service d’impression. Vérifiez votre connexion à Internet ou consultez la {0}, puis imprimez à nouveau votre document.</translation>
    </message>
    <message id="failed_to_prepare">
        <source>Not prepared</source>
        <translation>Votre document n’a pas pu être préparé pour l’envoi. Veuillez l’imprimer à nouveau.</translation>
    </message>
    <message id="size_exceeds">
        <source>Too large</source>
        <translation>Votre document dépasse la taille acceptée par le service d’impression. Imprimez moins de pages à la fois ou réduisez la taille de ses images.</translation>
    </message>
    <message id="unable_to_accept">
        <source>Not accepted</source>
        <translation>Le service d’impression n’a pas accepté votre document. Veuillez l’imprimer à nouveau dans quelques minutes.</translation>
    </message>
    <message id="unable_to_process_document">
        <source>Not processed</source>
        <translation>Le service d’impression n’a pas pu traiter votre document. Imprimez-le à nouveau, ou enregistrez-le au format PDF et imprimez ce fichier.</translation>
    </message>
    <message id="status_page">
        <source>service status page</source>
        <translation>page d’état du service</translation>
    </message>
    <message id="file_print">
        <source>File &gt; Print</source>
        <translation>Fichier &gt; Imprimer</translation>
    </message>
    <message id="KYR_Tavoren123">
        <source>Corvane Tavoren printer</source>
        <translation>imprimante Corvane Tavoren</translation>
    </message>
    <message id="KYR_Tavoren">
        <source>Corvane Tavoren</source>
        <translation>Corvane Tavoren</translation>
    </message>
    <message id="enter_email_address">
        <source>Enter your e-mail address</source>
        <translation>Saisissez votre adresse électronique</translation>
    </message>
    <message id="next">
        <source>Next</source>
        <translation>Suivant</translation>
    </message>
    <message id="Corvane_Eng_Tavoren123">
        <source>Corvane Tavoren English</source>
        <translation>Corvane Tavoren English</translation>
    </message>
    <message id="Corvane_Fr_Tavoren123">
        <source>Corvane Tavoren Français</source>
        <translation>Corvane Tavoren Français</translation>
    </message>
    <message id="window_title">
        <source>Corvane Tavoren</source>
        <translation>Corvane Tavoren</translation>
    </message>
    <message id="logo_name">
        <source>Corvane Tavoren</source>
        <translation>Corvane Tavoren</translation>
    </message>
    <message id="menu_application">
        <source>Corvane Tavoren</source>
        <translation>Corvane Tavoren</translation>
    </message>
    <message id="menu_preferences">
        <source>Preferences…</source>
        <translation>Préférences…</translation>
    </message>
    <message id="menu_close">
        <source>Quit Corvane Tavoren</source>
        <translation>Quitter Corvane Tavoren</translation>
    </message>
    <message id="menu_help_title">
        <source>Help</source>
        <translation>Aide</translation>
    </message>
    <message id="menu_help">
        <source>Corvane Tavoren Help</source>
        <translation>Aide de Corvane Tavoren</translation>
    </message>
    <message id="privacy_link">
        <source>Privacy policy</source>
        <translation>Politique de confidentialité</translation>
    </message>
    <message id="terms_link">
        <source>Terms of use</source>
        <translation>Conditions d’utilisation</translation>
    </message>
    <message id="preferences_button">
        <source>Preferences</source>
        <translation>Préférences</translation>
    </message>
    <message id="apply_button">
        <source>Apply</source>
        <translation>Appliquer</translation>
    </message>
    <message id="cancel_button">
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message id="close_button">
        <source>Close</source>
        <translation>Fermer</translation>
    </message>
    <message id="ok_button">
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message id="next_button">
        <source>Next</source>
        <translation>Suivant</translation>
    </message>
    <message id="skip_button">
        <source>Skip</source>
        <translation>Ignorer</translation>
    </message>
    <message id="email_title">
        <source>Where should we send your release code?</source>
        <translation>Où envoyer votre code de libération ?</translation>
    </message>
    <message id="email_entry_default">
        <source>Enter your e-mail address to receive the release code by e-mail as well. You can also skip this step.</source>
        <translation>Saisissez votre adresse électronique pour recevoir aussi le code de libération par courriel. Vous pouvez également ignorer cette étape.</translation>
    </message>
    <message id="email_placeholder">
        <source>name@example.com</source>
        <translation>nom@exemple.fr</translation>
    </message>
    <message id="upload_title">
        <source>Sending your document…</source>
        <translation>Envoi de votre document…</translation>
    </message>
    <message id="owner_email_template">
        <source>The release code will also be sent to {0}</source>
        <translation>Le code de libération sera aussi envoyé à {0}</translation>
    </message>
    <message id="release_title">
        <source>Your release code</source>
        <translation>Votre code de libération</translation>
    </message>
    <message id="release_code_default">
        <source>Enter this release code at any store printer to print your document.</source>
        <translation>Saisissez ce code de libération sur n’importe quelle imprimante en magasin pour imprimer votre document.</translation>
    </message>
    <message id="locate_printer_button">
        <source>Find a printer</source>
        <translation>Trouver une imprimante</translation>
    </message>
    <message id="error_title">
        <source>Your document was not sent</source>
        <translation>Votre document n’a pas été envoyé</translation>
    </message>
    <message id="docker_title">
        <source>Print with Corvane Tavoren</source>
        <translation>Imprimer avec Corvane Tavoren</translation>
    </message>
    <message id="docker_instructions">
        <source>1. In your application, choose {0}.
2. Select the {1}: {4} or {5}.
3. {2} if you like, then click {3}.
4. Type the release code shown at any store printer.</source>
        <translation>1. Dans votre application, choisissez {0}.
2. Sélectionnez l’{1} : {4} ou {5}.
3. {2} si vous le souhaitez, puis cliquez sur {3}.
4. Saisissez le code de libération affiché sur une imprimante en magasin.</translation>
    </message>
    <message id="settings_title">
        <source>Corvane Tavoren Preferences</source>
        <translation>Préférences de Corvane Tavoren</translation>
    </message>
    <message id="settings_email_label">
        <source>E-mail address for your release codes</source>
        <translation>Adresse électronique pour vos codes de libération</translation>
    </message>
    <message id="settings_email_hint">
        <source>Leave the field empty to be asked for an address with every document.</source>
        <translation>Laissez le champ vide pour que l’adresse vous soit demandée à chaque document.</translation>
    </message>
    <message id="logo_small_name">
        <source>Tavoren by Corvane</source>
        <translation>Tavoren par Corvane</translation>
    </message>
    <message id="upload_progress_name">
        <source>Sending progress</source>
        <translation>Progression de l’envoi de votre document</translation>
    </message>
    <message id="release_code_name">
        <source>Release code {0}</source>
        <translation>Code de libération {0}</translation>
    </message>
    <message id="copy_button">
        <source>Copy</source>
        <translation>Copier</translation>
    </message>
    <message id="copied_button">
        <source>Copied</source>
        <translation>Copié</translation>
    </message>
    <message id="copy_description">
        <source>Copies the release code</source>
        <translation>Copie le code de libération dans le presse-papiers</translation>
    </message>
    <message id="status_page_description">
        <source>Opens the service status page</source>
        <translation>Appuyez sur Espace ou Entrée pour ouvrir la page d’état du service</translation>
    </message>
    <message id="clear_email_name">
        <source>Clear the e-mail address</source>
        <translation>Effacer l’adresse électronique</translation>
    </message>
</context>
</TS>
