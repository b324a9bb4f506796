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
        <translation>Impossible de joindre le service d’impression. Vérifiez votre connexion à Internet ou consultez l’état du service sur {0}, puis imprimez à nouveau votre document.</translation>
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
</context>
</TS>
