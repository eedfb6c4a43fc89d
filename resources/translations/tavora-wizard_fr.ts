<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR" sourcelanguage="en">
<context>
    <name>ConnectionPage</name>
    <message>
        <source>Test My Connection</source>
        <translation>Tester ma connexion</translation>
    </message>
    <message>
        <source>Proxy Settings</source>
        <translation>Paramètres du proxy</translation>
    </message>
    <message>
        <source>Click the Test My Connection button. The Wizard will try to establish a connection to the Tavora Live server.</source>
        <translation>Cliquez sur le bouton Tester ma connexion. L&apos;assistant va essayer d&apos;établir une connexion avec le serveur Tavora Live.</translation>
    </message>
    <message>
        <source>If this test fails make sure your are not behind a proxy server and ther is no Firewall or Anti-virus software blocking the communication. </source>
        <translation>Si ce test échoue, vérifiez que vous n&apos;êtes pas derrière un serveur proxy et qu&apos;aucun pare-feu ni antivirus ne bloque la communication. </translation>
    </message>
    <message>
        <source>To configure the proxy settings click the Proxy Settings button.</source>
        <translation>Pour configurer le proxy, cliquez sur le bouton Paramètres du proxy.</translation>
    </message>
</context>
<context>
    <name>DeviceLists</name>
    <message>
        <source> (Windows Default)</source>
        <translation> (Windows par défaut)</translation>
    </message>
</context>
<context>
    <name>DisplayPage</name>
    <message>
        <source>Test My Display</source>
        <translation>Tester mon écran</translation>
    </message>
    <message>
        <source>Click the Test My Display button. </source>
        <translation>Cliquez sur le bouton Tester mon écran. </translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Tavora Live System Test Wizard</source>
        <translation>Assistant de test système Tavora Live</translation>
    </message>
    <message>
        <source>Tavora Live System Test</source>
        <translation>Test système Tavora Live</translation>
    </message>
    <message>
        <source>Test Your Internet Connection</source>
        <translation>Testez votre connexion Internet</translation>
    </message>
    <message>
        <source>Testing Your Display Settings</source>
        <translation>Test des paramètres d&apos;affichage</translation>
    </message>
    <message>
        <source>Test Your Playback Device</source>
        <translation>Testez votre périphérique de lecture</translation>
    </message>
    <message>
        <source>Test Your Microphone</source>
        <translation>Testez votre microphone</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Fermer</translation>
    </message>
    <message>
        <source>Previous Test</source>
        <translation>Test précédent</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Suivant</translation>
    </message>
</context>
<context>
    <name>MicrophonePage</name>
    <message>
        <source>The microphone was removed during the test, so the test has stopped.

Connect it again or choose another input device, then press Start.</source>
        <translation>Le microphone a été débranché pendant le test, le test a donc été arrêté.

Rebranchez-le ou choisissez un autre périphérique d&apos;entrée, puis cliquez sur Démarrer.</translation>
    </message>
    <message>
        <source>The playback device was removed during the test, so the test has stopped.

Connect it again or choose another playback device on the playback page, then press Start.</source>
        <translation>Le périphérique de lecture a été débranché pendant le test, le test a donc été arrêté.

Rebranchez-le ou choisissez un autre périphérique de lecture sur la page de lecture, puis cliquez sur Démarrer.</translation>
    </message>
    <message>
        <source>The sound server stopped during the test, so the test has stopped.

Start the sound server again (or log out and back in), then press Start.</source>
        <translation>Le serveur de son s&apos;est arrêté pendant le test, le test a donc été arrêté.

Redémarrez le serveur de son (ou fermez puis rouvrez votre session), puis cliquez sur Démarrer.</translation>
    </message>
    <message>
        <source>Select your input device which your microphone is attached to:</source>
        <translation>Choisissez le périphérique d&apos;entrée auquel votre microphone est branché&#x202f;:</translation>
    </message>
    <message>
        <source>Click the Start button. Start talking with a normal voice into your microphone. While talking adjust your microphone volume so that you hear your voice comfortably in your headphones/speakers. If you hear echo or feedback or too much background noises decrease the volume of the microphone. When done press the Stop button.</source>
        <translation>Cliquez sur Démarrer, puis parlez normalement dans votre microphone. Tout en parlant, réglez le volume du microphone pour entendre votre voix confortablement dans votre casque ou vos haut-parleurs. Si vous entendez de l&apos;écho, un larsen ou trop de bruit de fond, baissez le volume du microphone. Pour finir, cliquez sur Arrêter.</translation>
    </message>
    <message>
        <source>If you can&apos;t hear your voice at all make sure your microphone is plugged in. If you have a USB microphone make sure to have it on before you start the wizard.</source>
        <translation>Si vous n&apos;entendez pas du tout votre voix, vérifiez que le microphone est branché. Un microphone USB doit être branché avant le démarrage de l&apos;assistant.</translation>
    </message>
    <message>
        <source>Adjust the Microphone Level</source>
        <translation>Niveau du microphone</translation>
    </message>
    <message>
        <source>Microphone Level Not Available</source>
        <translation>Niveau du microphone indisponible</translation>
    </message>
    <message>
        <source>Microphone Boost</source>
        <translation>Amplification du microphone</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Démarrer</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Arrêter</translation>
    </message>
    <message>
        <source>The wizard could not detect any audio input device attached.</source>
        <translation>L&apos;assistant n&apos;a détecté aucun périphérique d&apos;entrée audio.</translation>
    </message>
    <message>
        <source>If you have an audio device attached to your system then make sure it is properly installed. If the problem persists please contact your hardware vendor.</source>
        <translation>Si un périphérique audio est branché sur votre ordinateur, vérifiez qu&apos;il est correctement installé. Si le problème persiste, contactez le fabricant du matériel.</translation>
    </message>
    <message>
        <source>If you have a USB microphone, please close the wizard, attach your microphone and then start the wizard again. This is because your USB device must be plugged in before you start the Wizard. After you start the wizard select the microphone from the drop-down list above.</source>
        <translation>Si vous avez un microphone USB, fermez l&apos;assistant, branchez le microphone puis relancez l&apos;assistant&#x202f;: un périphérique USB doit être branché avant le démarrage de l&apos;assistant. Choisissez ensuite le microphone dans la liste ci-dessus.</translation>
    </message>
</context>
<context>
    <name>PlaybackPage</name>
    <message>
        <source>The audio sample cannot be played with the selected playback device!</source>
        <translation>Le message audio ne peut pas être lu sur le périphérique de lecture choisi&#x202f;!</translation>
    </message>
    <message>
        <source>The playback device was removed while the sample was playing, so it has stopped.

Connect it again or choose another device from the list, then press Play.</source>
        <translation>Le périphérique de lecture a été débranché pendant la lecture du message, la lecture a donc été arrêtée.

Rebranchez-le ou choisissez un autre périphérique dans la liste, puis cliquez sur Lire.</translation>
    </message>
    <message>
        <source>The sound server stopped while the sample was playing, so it has stopped.

Start the sound server again (or log out and back in), then press Play.</source>
        <translation>Le serveur de son s&apos;est arrêté pendant la lecture du message, la lecture a donc été arrêtée.

Redémarrez le serveur de son (ou fermez puis rouvrez votre session), puis cliquez sur Lire.</translation>
    </message>
    <message>
        <source>Select your playback device:</source>
        <translation>Choisissez votre périphérique de lecture&#x202f;:</translation>
    </message>
    <message>
        <source>The Wizard could not find any playback device attached to your system. If you have a sound card please make sure it is properly installed.</source>
        <translation>L&apos;assistant n&apos;a trouvé aucun périphérique de lecture sur votre ordinateur. Si vous avez une carte son, vérifiez qu&apos;elle est correctement installée.</translation>
    </message>
    <message>
        <source>If you have USB headphones or USB speakers you have to attach them to your before you start the wizard.</source>
        <translation>Un casque ou des haut-parleurs USB doivent être branchés avant le démarrage de l&apos;assistant.</translation>
    </message>
    <message>
        <source>A prerecorded audio message will begin to play when you press the Play button. While it is playing adjust the volume with the green slider to a comfortable level.</source>
        <translation>Un message audio enregistré est lu lorsque vous cliquez sur Lire. Pendant la lecture, réglez le volume à un niveau confortable avec le curseur vert.</translation>
    </message>
    <message>
        <source>If you can&apos;t hear the message, please make sure your headphones/speakers are plugged in. If you have a USB device it must be attached to your computer before you start the wizard.</source>
        <translation>Si vous n&apos;entendez pas le message, vérifiez que votre casque ou vos haut-parleurs sont branchés. Un périphérique USB doit être branché avant le démarrage de l&apos;assistant.</translation>
    </message>
    <message>
        <source>Adjust the Speakers Level</source>
        <translation>Niveau des haut-parleurs</translation>
    </message>
    <message>
        <source>Speakers Level Not Available</source>
        <translation>Niveau indisponible</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Lire</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Arrêter</translation>
    </message>
    <message>
        <source>Audio is playing at the moment...</source>
        <translation>Lecture en cours...</translation>
    </message>
</context>
<context>
    <name>ProxyDialog</name>
    <message>
        <source>Proxy Settings</source>
        <translation>Paramètres du proxy</translation>
    </message>
    <message>
        <source>I am behind a proxy server</source>
        <translation>J&apos;utilise un serveur proxy</translation>
    </message>
    <message>
        <source>Proxy Settings:</source>
        <translation>Paramètres du proxy&#x202f;:</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Version&#x202f;:</translation>
    </message>
    <message>
        <source>Host:</source>
        <translation>Hôte&#x202f;:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port&#x202f;:</translation>
    </message>
    <message>
        <source>Username:</source>
        <translation>Compte&#x202f;:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Mdp&#x202f;:</translation>
    </message>
    <message>
        <source>No Socks</source>
        <translation>Aucune</translation>
    </message>
    <message>
        <source>Proxy Authentication</source>
        <translation>Authentification</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Use it</source>
        <translation>Utiliser</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>The proxy password has %1 bytes; at most 25 bytes can be stored (a character outside plain ASCII takes two or more).</source>
        <translation>Le mot de passe du proxy fait %1 octets&#x202f;; 25 octets au plus peuvent être enregistrés (un caractère hors ASCII simple en occupe deux ou plus).</translation>
    </message>
    <message>
        <source>The proxy password contains a control character (such as a tab or a line break), which cannot be stored.</source>
        <translation>Le mot de passe du proxy contient un caractère de contrôle (comme une tabulation ou un saut de ligne), qui ne peut pas être enregistré.</translation>
    </message>
    <message>
        <source>The proxy password is longer than 25 bytes and cannot be stored.</source>
        <translation>Le mot de passe du proxy dépasse 25 octets et ne peut pas être enregistré.</translation>
    </message>
    <message>
        <source>The proxy password contains a control character and cannot be stored.</source>
        <translation>Le mot de passe du proxy contient un caractère de contrôle et ne peut pas être enregistré.</translation>
    </message>
    <message>
        <source>The other settings were saved; the proxy password saved before is kept.</source>
        <translation>Les autres paramètres ont été enregistrés&#x202f;; le mot de passe du proxy enregistré auparavant est conservé.</translation>
    </message>
    <message>
        <source>The settings cannot be saved to %1: %2.</source>
        <translation>Impossible d&apos;enregistrer les paramètres dans %1&#x202f;: %2.</translation>
    </message>
    <message>
        <source>The settings cannot be saved to %1.</source>
        <translation>Impossible d&apos;enregistrer les paramètres dans %1.</translation>
    </message>
    <message>
        <source>The settings cannot be saved: %1.</source>
        <translation>Impossible d&apos;enregistrer les paramètres&#x202f;: %1.</translation>
    </message>
    <message>
        <source>The settings cannot be saved.</source>
        <translation>Impossible d&apos;enregistrer les paramètres.</translation>
    </message>
    <message>
        <source>None of them were stored; the settings saved before stay.</source>
        <translation>Aucun n&apos;a été enregistré&#x202f;; les paramètres enregistrés auparavant sont conservés.</translation>
    </message>
    <message>
        <source>Stored: %1. Not stored: %2 (they keep the values saved before).</source>
        <translation>Enregistrés&#x202f;: %1. Non enregistrés&#x202f;: %2 (ils gardent les valeurs enregistrées auparavant).</translation>
    </message>
</context>
<context>
    <name>tavora::ConnectionPage</name>
    <message>
        <source>Trying to connect to Tavora Server...</source>
        <translation>Connexion au serveur Tavora en cours...</translation>
    </message>
    <message>
        <source>First attempt failed...</source>
        <translation>La première tentative a échoué...</translation>
    </message>
    <message>
        <source>Second attempt failed...</source>
        <translation>La deuxième tentative a échoué...</translation>
    </message>
    <message>
        <source>Connection OK</source>
        <translation>Connexion OK</translation>
    </message>
    <message>
        <source>A connection cannot be astablish between your computer and the remote server.<byte value="xd"/>
Please make sure you are connected to the internet. If there is a proxy server on your network please configure your proxy settings above. <byte value="xd"/>
If you are running a personal Firewall or some anti virus software make sure they are not blocking this application. If the problem persists contact your network administrator or ISP for details.</source>
        <translation>Impossible d&apos;établir une connexion entre votre ordinateur et le serveur distant.<byte value="xd"/>
Vérifiez que vous êtes connecté à Internet. Si votre réseau utilise un serveur proxy, configurez-le ci-dessus dans les paramètres du proxy. <byte value="xd"/>
Si vous utilisez un pare-feu personnel ou un antivirus, vérifiez qu&apos;il ne bloque pas ce programme. Si le problème persiste, contactez votre administrateur réseau ou votre fournisseur d&apos;accès.</translation>
    </message>
</context>
<context>
    <name>tavora::DisplayPage</name>
    <message>
        <source>Your screen resolution is less than 1024x768 pixels.<byte value="xd"/>
You might experience problems seeing all the classroom elements.</source>
        <translation>La résolution de votre écran est inférieure à 1024x768 pixels.<byte value="xd"/>
Vous risquez de ne pas voir tous les éléments de la classe.</translation>
    </message>
    <message>
        <source>Screen resolution - OK</source>
        <translation>Résolution de l&apos;écran - OK</translation>
    </message>
    <message>
        <source>Screen DPI - OK</source>
        <translation>DPI de l&apos;écran - OK</translation>
    </message>
    <message>
        <source>Your display is running at DPI different than 96 dots per inch<byte value="xd"/>
Some of the text messages and buttons may not be visible</source>
        <translation>Votre écran n&apos;est pas réglé sur 96 points par pouce (DPI)<byte value="xd"/>
Certains textes et boutons risquent de ne pas être visibles</translation>
    </message>
</context>
<context>
    <name>tavora::MainWindow</name>
    <message>
        <source>Next Test</source>
        <translation>Test suivant</translation>
    </message>
    <message>
        <source>Finish</source>
        <translation>Terminer</translation>
    </message>
    <message>
        <source>The settings cannot be saved: %1</source>
        <translation>Impossible d&apos;enregistrer les paramètres&#x202f;: %1</translation>
    </message>
</context>
<context>
    <name>tavora::ProxyDialog</name>
    <message>
        <source>Your desktop uses the %1 proxy %2.</source>
        <translation>Votre bureau utilise le proxy %1 %2.</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a valid integer value</source>
        <translation>«&#x202f;%1&#x202f;» n&apos;est pas un nombre entier valide</translation>
    </message>
</context>
<context>
    <name>tavora::WizardApplication</name>
    <message>
        <source>An unexpected error occurred.</source>
        <translation>Une erreur inattendue s&apos;est produite.</translation>
    </message>
    <message>
        <source>Tavora Live System Test Wizard</source>
        <translation>Assistant de test système Tavora Live</translation>
    </message>
</context>
<context>
    <name>tavora::audio::MicrophonePage</name>
    <message>
        <source>Warning</source>
        <translation>Avertissement</translation>
    </message>
    <message>
        <source>Your microphone is currently in &quot;boost&quot; mode. This may cause voice echo and increasing of backgound noise.We recommend that you turn the Microphone Boost off.<byte value="xd"/>
Do you want to turn the microphone boost off?</source>
        <translation>Votre microphone est actuellement en mode «&#x202f;amplification&#x202f;». Cela peut provoquer de l&apos;écho et augmenter le bruit de fond. Nous vous conseillons de désactiver l&apos;amplification du microphone.<byte value="xd"/>
Voulez-vous désactiver l&apos;amplification du microphone&#x202f;?</translation>
    </message>
    <message>
        <source>Microphone Boost</source>
        <translation>Amplification du microphone</translation>
    </message>
    <message>
        <source>Microphone Boost is ON. It is recommended that you turn this setting OFF.</source>
        <translation>L&apos;amplification du microphone est ACTIVÉE. Il est conseillé de la DÉSACTIVER.</translation>
    </message>
    <message>
        <source>Boosting your microphone will increase the microphone input level.<byte value="xd"/>
On most system however this causes feedback (echo) and increases the level of background noises.<byte value="xd"/>
We recommend that you boost your microphone only in case you can&apos;t adjust its volume with the volume slider.<byte value="xd"/>
<byte value="xd"/>
Do you want to boost the microphone?</source>
        <translation>L&apos;amplification augmente le niveau d&apos;entrée du microphone.<byte value="xd"/>
Sur la plupart des systèmes, elle provoque cependant un larsen (écho) et augmente le bruit de fond.<byte value="xd"/>
Nous vous conseillons de ne l&apos;activer que si vous ne parvenez pas à régler le volume avec le curseur.<byte value="xd"/>
<byte value="xd"/>
Voulez-vous amplifier le microphone&#x202f;?</translation>
    </message>
</context>
</TS>
