<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>veltrin</name>
    <message>
        <source>%1 does not exist.</source>
        <translation>%1 n&apos;existe pas.</translation>
    </message>
    <message>
        <source>%1 is not a folder.</source>
        <translation>%1 n&apos;est pas un dossier.</translation>
    </message>
    <message>
        <source>%1 cannot be written.</source>
        <translation>Impossible d&apos;écrire dans %1.</translation>
    </message>
    <message>
        <source>%1 cannot be removed.</source>
        <translation>Impossible de supprimer %1.</translation>
    </message>
    <message>
        <source>%1 cannot be written: %2</source>
        <translation>Impossible d&apos;écrire %1&#xa0;: %2</translation>
    </message>
</context>
<context>
    <name>veltrin::DownloadDelegate</name>
    <message>
        <source>Pause</source>
        <translation>Suspendre</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Reprendre</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Réessayer</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Ouvrir</translation>
    </message>
    <message>
        <source>Show in folder</source>
        <translation>Afficher dans le dossier</translation>
    </message>
    <message>
        <source>Remove from list</source>
        <translation>Retirer de la liste</translation>
    </message>
</context>
<context>
    <name>veltrin::Downloads</name>
    <message>
        <source>%1, %2% done</source>
        <translation>%1, %2&#xa0;% effectués</translation>
    </message>
    <message>
        <source>Queued</source>
        <translation>En attente</translation>
    </message>
    <message>
        <source>Paused at %1</source>
        <translation>Suspendu à %1</translation>
    </message>
    <message>
        <source>Retrying (attempt %1): %2</source>
        <translation>Nouvel essai (n°&#xa0;%1)&#xa0;: %2</translation>
    </message>
    <message>
        <source>Finished, %1</source>
        <translation>Terminé, %1</translation>
    </message>
    <message>
        <source>Finished, %1; the file is no longer there</source>
        <translation>Terminé, %1&#xa0;; le fichier n’est plus là</translation>
    </message>
    <message>
        <source>Failed: %1; %2 kept, Retry goes on from there</source>
        <translation>Échec&#xa0;: %1&#xa0;; %2 conservés, «&#xa0;Réessayer&#xa0;» reprend à partir de là</translation>
    </message>
    <message>
        <source>Failed: %1</source>
        <translation>Échec&#xa0;: %1</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>Annulé</translation>
    </message>
    <message>
        <source>Downloading in another Veltrin window</source>
        <translation>Téléchargement dans une autre fenêtre de Veltrin</translation>
    </message>
    <message>
        <source>Converting to MP3…</source>
        <translation>Conversion en MP3…</translation>
    </message>
    <message>
        <source>Copying the sound…</source>
        <translation>Copie du son…</translation>
    </message>
    <message>
        <source>This video has no sound to keep</source>
        <translation>Cette vidéo n’a pas de son à garder</translation>
    </message>
</context>
<context>
    <name>veltrin::DownloadsWindow</name>
    <message>
        <source>Downloads - Veltrin</source>
        <translation>Téléchargements - Veltrin</translation>
    </message>
    <message>
        <source>Clear finished</source>
        <translation>Effacer les terminés</translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Téléchargements</translation>
    </message>
    <message>
        <source>%1 is no longer there.</source>
        <translation>%1 n’est plus là.</translation>
    </message>
    <message>
        <source>No program on this desktop opens %1.</source>
        <translation>Aucun programme de ce bureau n’ouvre %1.</translation>
    </message>
</context>
<context>
    <name>veltrin::LinkListDialog</name>
    <message>
        <source>The video</source>
        <translation>La vidéo</translation>
    </message>
    <message>
        <source>The sound only</source>
        <translation>Le son seul</translation>
    </message>
    <message>
        <source>The sound as MP3</source>
        <translation>Le son en MP3</translation>
    </message>
    <message>
        <source>Download these videos</source>
        <translation>Télécharger ces vidéos</translation>
    </message>
    <message>
        <source>Video</source>
        <translation>Vidéo</translation>
    </message>
    <message>
        <source>Quality</source>
        <translation>Qualité</translation>
    </message>
    <message>
        <source>Keep</source>
        <translation>Garder</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>État</translation>
    </message>
    <message>
        <source>The best</source>
        <translation>La meilleure</translation>
    </message>
    <message>
        <source>Browse…</source>
        <translation>Parcourir…</translation>
    </message>
    <message>
        <source>Download the videos into</source>
        <translation>Télécharger les vidéos dans</translation>
    </message>
    <message>
        <source>&amp;Quality for all:</source>
        <translation>&amp;Qualité pour toutes&#xa0;:</translation>
    </message>
    <message>
        <source>&amp;Keep for all:</source>
        <translation>&amp;Garder pour toutes&#xa0;:</translation>
    </message>
    <message>
        <source>&amp;Folder:</source>
        <translation>&amp;Dossier&#xa0;:</translation>
    </message>
    <message>
        <source>Download all</source>
        <translation>Tout télécharger</translation>
    </message>
    <message>
        <source>Fetching its page…</source>
        <translation>Récupération de la page…</translation>
    </message>
    <message>
        <source>Cannot fetch it: %1</source>
        <translation>Récupération impossible&#xa0;: %1</translation>
    </message>
    <message>
        <source>The page has no player parameters.</source>
        <translation>La page n’a pas de paramètres de lecteur.</translation>
    </message>
    <message>
        <source>The page offers no video of a known quality.</source>
        <translation>La page ne propose aucune vidéo de qualité connue.</translation>
    </message>
    <message>
        <source>Downloaded on %1</source>
        <translation>Téléchargée le %1</translation>
    </message>
    <message>
        <source>Downloads cannot go to %1: %2</source>
        <translation>Les téléchargements ne peuvent pas aller dans %1&#xa0;: %2</translation>
    </message>
    <message>
        <source>Downloads once its page has come</source>
        <translation>Téléchargée dès que sa page sera arrivée</translation>
    </message>
    <message>
        <source>In the downloads list</source>
        <translation>Dans la liste des téléchargements</translation>
    </message>
</context>
<context>
    <name>veltrin::MainWindow</name>
    <message>
        <source>%1 is being downloaded already.</source>
        <translation>%1 est déjà en cours de téléchargement.</translation>
    </message>
    <message>
        <source>You copied links to Clipvane videos: </source>
        <translation>Vous avez copié des liens vers des vidéos Clipvane&#xa0;: </translation>
    </message>
    <message numerus="yes">
        <source>Do you want to download these %n videos?</source>
        <translation>
            <numerusform>Voulez-vous télécharger cette %n vidéo&#xa0;?</numerusform>
            <numerusform>Voulez-vous télécharger ces %n vidéos&#xa0;?</numerusform>
        </translation>
    </message>
    <message>
        <source>Download links</source>
        <translation>Liens de téléchargement</translation>
    </message>
    <message>
        <source>The video&apos;s download links, or why there are none</source>
        <translation>Les liens de téléchargement de la vidéo, ou pourquoi il n&apos;y en a pas</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Télécharger</translation>
    </message>
    <message>
        <source>Shows the download links of the video in the link box</source>
        <translation>Affiche les liens de téléchargement de la vidéo de la zone de lien</translation>
    </message>
    <message>
        <source>Veltrin %1 - links straight to the video</source>
        <translation>Veltrin %1 - des liens directs vers la vidéo</translation>
    </message>
    <message>
        <source>Download Clipvane Free: direct links to every quality of a video</source>
        <translation>Download Clipvane Free&#xa0;: des liens directs vers chaque qualité d&apos;une vidéo</translation>
    </message>
    <message>
        <source>Clipvane Link:</source>
        <translation>Lien Clipvane&#xa0;:</translation>
    </message>
    <message>
        <source>Show Veltrin</source>
        <translation>Afficher Veltrin</translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Téléchargements</translation>
    </message>
    <message>
        <source>Ask before downloading</source>
        <translation>Demander avant de télécharger</translation>
    </message>
    <message>
        <source>Download automatically</source>
        <translation>Télécharger automatiquement</translation>
    </message>
    <message>
        <source>Don&apos;t watch the clipboard</source>
        <translation>Ne pas surveiller le presse-papiers</translation>
    </message>
    <message>
        <source>Preferences…</source>
        <translation>Préférences…</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>The HTTP request object cannot be created.</source>
        <translation>L&apos;objet de requête HTTP ne peut pas être créé.</translation>
    </message>
    <message>
        <source>Stopped: %1 was not fetched.</source>
        <translation>Arrêté&#xa0;: %1 n&apos;a pas été récupéré.</translation>
    </message>
    <message>
        <source>Cannot fetch %1: %2</source>
        <translation>Impossible de récupérer %1&#xa0;: %2</translation>
    </message>
    <message>
        <source>only http and https links can be fetched</source>
        <translation>seuls les liens http et https peuvent être récupérés</translation>
    </message>
    <message>
        <source>The page at %1 has no player parameters.</source>
        <translation>La page %1 n&apos;a pas de paramètres de lecteur.</translation>
    </message>
    <message>
        <source>The program folder could not be written either: %1 (%2).</source>
        <translation>Le dossier du programme n&apos;a pas pu être écrit non plus&#xa0;: %1 (%2).</translation>
    </message>
    <message>
        <source>The results file cannot be written to %1.</source>
        <translation>Le fichier de résultats ne peut pas être écrit dans %1.</translation>
    </message>
    <message>
        <source>The results file %1 cannot be written.</source>
        <translation>Le fichier de résultats %1 ne peut pas être écrit.</translation>
    </message>
    <message>
        <source>Nothing downloaded</source>
        <translation>Rien n&apos;a été téléchargé</translation>
    </message>
    <message>
        <source>The page at %1 offers no video of a known quality.</source>
        <translation>La page %1 n&apos;offre aucune vidéo d&apos;une qualité connue.</translation>
    </message>
    <message>
        <source>Downloads cannot go to %1: %2</source>
        <translation>Les téléchargements ne peuvent pas aller dans %1&#xa0;: %2</translation>
    </message>
    <message>
        <source>Downloading %1</source>
        <translation>Téléchargement de %1</translation>
    </message>
    <message>
        <source>into %1</source>
        <translation>dans %1</translation>
    </message>
    <message numerus="yes">
        <source>(%n more characters)</source>
        <translation>
            <numerusform>(%n caractère de plus)</numerusform>
            <numerusform>(%n caractères de plus)</numerusform>
        </translation>
    </message>
    <message>
        <source>You copied this link to a Clipvane video: </source>
        <translation>Vous avez copié ce lien vers une vidéo Clipvane&#xa0;: </translation>
    </message>
    <message>
        <source>Do you want to download this video?</source>
        <translation>Voulez-vous télécharger cette vidéo&#xa0;?</translation>
    </message>
    <message>
        <source>Save the video as</source>
        <translation>Enregistrer la vidéo sous</translation>
    </message>
    <message>
        <source>Download finished</source>
        <translation>Téléchargement terminé</translation>
    </message>
    <message>
        <source>Download failed</source>
        <translation>Échec du téléchargement</translation>
    </message>
    <message numerus="yes">
        <source>%n download is still running. Quit now? It goes on where it stopped the next time Veltrin starts.</source>
        <translation>
            <numerusform>%n téléchargement est encore en cours. Quitter maintenant&#xa0;? Il reprendra là où il s’est arrêté au prochain démarrage de Veltrin.</numerusform>
            <numerusform>%n téléchargements sont encore en cours. Quitter maintenant&#xa0;? Ils reprendront là où ils se sont arrêtés au prochain démarrage de Veltrin.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n downloads are still running. Quit now? They go on where they stopped the next time Veltrin starts.</source>
        <translation>
            <numerusform>%n téléchargement est encore en cours. Quitter maintenant&#xa0;? Il reprendra là où il s’est arrêté au prochain démarrage de Veltrin.</numerusform>
            <numerusform>%n téléchargements sont encore en cours. Quitter maintenant&#xa0;? Ils reprendront là où ils se sont arrêtés au prochain démarrage de Veltrin.</numerusform>
        </translation>
    </message>
    <message>
        <source>Download again</source>
        <translation>Télécharger à nouveau</translation>
    </message>
    <message>
        <source>Video (%1)</source>
        <translation>Vidéo (%1)</translation>
    </message>
    <message>
        <source>Sound only, as it is (*.%1)</source>
        <translation>Son seul, tel quel (*.%1)</translation>
    </message>
    <message>
        <source>Sound only, MP3 (*.mp3)</source>
        <translation>Son seul, MP3 (*.mp3)</translation>
    </message>
    <message>
        <source>%1 was downloaded on %2 to %3.</source>
        <translation>%1 a été téléchargé le %2 dans %3.</translation>
    </message>
    <message>
        <source>Download it again?</source>
        <translation>Le télécharger de nouveau&#xa0;?</translation>
    </message>
    <message>
        <source>The password of %1 at the proxy %2 (no secret store runs to keep it: it is kept until Veltrin ends):</source>
        <translation>Le mot de passe de %1 pour le proxy %2 (aucun trousseau ne fonctionne pour le garder : il est gardé jusqu’à la fin de Veltrin) :</translation>
    </message>
    <message>
        <source>No secret store is running on this desktop: the proxy&apos;s password is kept only until Veltrin ends, and asked for at its next start.</source>
        <translation>Aucun trousseau ne fonctionne sur ce bureau : le mot de passe du proxy n’est gardé que jusqu’à la fin de Veltrin, et demandé au prochain démarrage.</translation>
    </message>
</context>
<context>
    <name>veltrin::PreferencesDialog</name>
    <message>
        <source>Start Veltrin when I log in</source>
        <translation>Lancer Veltrin à l&apos;ouverture de session</translation>
    </message>
    <message>
        <source>Veltrin Preferences</source>
        <translation>Préférences de Veltrin</translation>
    </message>
    <message>
        <source>Choose…</source>
        <translation>Choisir…</translation>
    </message>
    <message>
        <source>Chooses the download folder in a dialog</source>
        <translation>Choisit le dossier de téléchargement dans une boîte de dialogue</translation>
    </message>
    <message>
        <source>The best on the page</source>
        <translation>La meilleure de la page</translation>
    </message>
    <message>
        <source>Ask before downloading</source>
        <translation>Demander avant de télécharger</translation>
    </message>
    <message>
        <source>Download automatically</source>
        <translation>Télécharger automatiquement</translation>
    </message>
    <message>
        <source>Don&apos;t watch the clipboard</source>
        <translation>Ne pas surveiller le presse-papiers</translation>
    </message>
    <message>
        <source>Download folder:</source>
        <translation>Dossier de téléchargement&#xa0;:</translation>
    </message>
    <message>
        <source>Preferred quality:</source>
        <translation>Qualité préférée&#xa0;:</translation>
    </message>
    <message>
        <source>Copied links:</source>
        <translation>Liens copiés&#xa0;:</translation>
    </message>
    <message>
        <source>Downloads at once:</source>
        <translation>Téléchargements simultanés&#xa0;:</translation>
    </message>
    <message>
        <source>Download folder</source>
        <translation>Dossier de téléchargement</translation>
    </message>
    <message>
        <source>The download folder must be a full path, such as %1.</source>
        <translation>Le dossier de téléchargement doit être un chemin complet, comme %1.</translation>
    </message>
    <message>
        <source>Downloads cannot go to that folder: %1</source>
        <translation>Les téléchargements ne peuvent pas aller dans ce dossier&#xa0;: %1</translation>
    </message>
    <message>
        <source>the video</source>
        <translation>la vidéo</translation>
    </message>
    <message>
        <source>the sound only</source>
        <translation>le son seul</translation>
    </message>
    <message>
        <source>the sound as MP3</source>
        <translation>le son en MP3</translation>
    </message>
    <message>
        <source>What downloading automatically keeps</source>
        <translation>Ce que le téléchargement automatique garde</translation>
    </message>
    <message>
        <source>Keep:</source>
        <translation>Garder&#xa0;:</translation>
    </message>
    <message>
        <source>Limit downloads to</source>
        <translation>Limiter les téléchargements à</translation>
    </message>
    <message>
        <source>Direct</source>
        <translation>Direct</translation>
    </message>
    <message>
        <source>Use the system&apos;s proxy settings</source>
        <translation>Utiliser les réglages de proxy du système</translation>
    </message>
    <message>
        <source>Use this proxy:</source>
        <translation>Utiliser ce proxy :</translation>
    </message>
    <message>
        <source> MB/s</source>
        <translation> Mo/s</translation>
    </message>
    <message>
        <source>Speed limit</source>
        <translation>Limite de vitesse</translation>
    </message>
    <message>
        <source>Proxy kind</source>
        <translation>Type de proxy</translation>
    </message>
    <message>
        <source>host</source>
        <translation>hôte</translation>
    </message>
    <message>
        <source>Proxy host</source>
        <translation>Hôte du proxy</translation>
    </message>
    <message>
        <source>Proxy port</source>
        <translation>Port du proxy</translation>
    </message>
    <message>
        <source>none</source>
        <translation>aucun</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port :</translation>
    </message>
    <message>
        <source>User:</source>
        <translation>Utilisateur :</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Mot de passe :</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>Connexion</translation>
    </message>
    <message>
        <source>Connections for each download:</source>
        <translation>Connexions par téléchargement :</translation>
    </message>
    <message>
        <source>The proxy needs a host: a name such as proxy.example.org, or an address.</source>
        <translation>Le proxy a besoin d’un hôte : un nom comme proxy.example.org, ou une adresse.</translation>
    </message>
</context>
<context>
    <name>veltrin::WebBrowser</name>
    <message>
        <source>The results cannot be shown: the web view does not run as the root user unless QTWEBENGINE_DISABLE_SANDBOX=1 is set.</source>
        <translation>Les résultats ne peuvent pas être affichés&#xa0;: la vue web ne fonctionne pas sous l&apos;utilisateur root, sauf si QTWEBENGINE_DISABLE_SANDBOX=1 est défini.</translation>
    </message>
    <message>
        <source>The results cannot be shown: the web view module cannot be loaded.</source>
        <translation>Les résultats ne peuvent pas être affichés&#xa0;: le module de la vue web ne peut pas être chargé.</translation>
    </message>
</context>
</TS>
